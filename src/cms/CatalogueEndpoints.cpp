#include "cms/CatalogueEndpoints.h"

#include <charconv>

namespace pagewell::cms {

namespace {

std::optional<std::int64_t> parseNumber(const std::string& text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

int idCapture(const CmsRequest& request, std::size_t index) {
    return static_cast<int>(parseNumber(request.captures.at(index)).value_or(0));
}

// "timestamp" absent or "0": the full answer. Anything else must be a revision.
struct Since {
    bool valid = true;
    std::optional<CatalogueState::Revision> revision;
};

Since sinceOf(const CmsRequest& request) {
    auto text = request.queryValue("timestamp");
    if (!text || *text == "0" || text->empty()) {
        return {};
    }
    auto value = parseNumber(*text);
    return value ? Since{true, *value} : Since{false, std::nullopt};
}

using Answer = std::function<CmsResponse(int user, const CmsRequest&)>;

// Wraps a handler with the token check every framed route shares.
RouteHandler framed(const CmsServices& services, Answer answer) {
    return [&services, answer = std::move(answer)](const CmsRequest& request) {
        auto user = services.authenticatedUser(request);
        if (!user) {
            return CmsResponse::empty();
        }
        return answer(*user, request);
    };
}

CmsResponse badTimestamp() {
    return CmsResponse::error(400, "timestamp must be a revision this server handed out");
}

}  // namespace

void CatalogueEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    const std::string id = "([0-9]{1,9})";
    CatalogueState& state = services.catalogue;

    routes.add("GET", api + "/locale/list$", framed(services, [&state](int user, const auto&) {
                   return CmsResponse::json(state.localeList(user));
               }));
    routes.add("GET", api + "/category/list/" + id + "$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   Since since = sinceOf(request);
                   if (!since.valid) {
                       return badTimestamp();
                   }
                   return CmsResponse::json(
                       state.categoryList(user, idCapture(request, 0), since.revision));
               }));
    routes.add("GET", api + "/category/modified/" + id + "$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   Since since = sinceOf(request);
                   if (!since.valid) {
                       return badTimestamp();
                   }
                   return CmsResponse::json(
                       state.categoryModified(user, idCapture(request, 0), since.revision));
               }));
    routes.add("GET", api + "/category/items/" + id + "$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   Since since = sinceOf(request);
                   auto locale = parseNumber(request.queryValue("locale").value_or(""));
                   if (!since.valid) {
                       return badTimestamp();
                   }
                   if (!locale) {
                       return CmsResponse::error(400, "locale missing");
                   }
                   auto answer = state.categoryItems(user, static_cast<int>(*locale),
                                                     idCapture(request, 0), since.revision);
                   if (!answer.ok()) {
                       return CmsResponse::error(answer.error().code, answer.error().description);
                   }
                   return CmsResponse::json(answer.value());
               }));
    routes.add("GET", api + "/highlight/list/" + id + "$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   Since since = sinceOf(request);
                   if (!since.valid) {
                       return badTimestamp();
                   }
                   return CmsResponse::json(
                       state.highlightList(user, idCapture(request, 0), since.revision));
               }));
    routes.add("GET", api + "/search/" + id + "$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   auto keyword = request.queryValue("keyword");
                   if (!keyword) {
                       return CmsResponse::error(400, "keyword missing");
                   }
                   return CmsResponse::json(state.search(user, idCapture(request, 0), *keyword));
               }));
    routes.add("GET", api + "/category/dump$",
               framed(services, [&state](int user, const CmsRequest& request) {
                   auto locale = parseNumber(request.queryValue("locale").value_or(""));
                   if (!locale) {
                       return CmsResponse::error(400, "locale missing");
                   }
                   return CmsResponse::json(state.dump(user, static_cast<int>(*locale)));
               }));
    routes.add("GET", api + "/imprint/get/" + id + "$",
               framed(services, [&state](int, const CmsRequest& request) {
                   return CmsResponse::json(state.imprint(idCapture(request, 0)));
               }));
}

}  // namespace pagewell::cms
