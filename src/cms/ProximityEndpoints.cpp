#include "cms/ProximityEndpoints.h"

#include <algorithm>

#include "cms/EndpointSupport.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

json idTexts(const std::vector<int>& ids) {
    json list = json::array();
    for (int id : ids) {
        list.push_back(std::to_string(id));
    }
    return list;
}

// The "locale" query, else the first locale of the catalogue the user has.
std::optional<int> localeFor(const CmsServices& services, int user, const CmsRequest& request) {
    if (auto text = request.queryValue("locale")) {
        return EndpointSupport::idValue(json(*text));
    }
    std::optional<int> locale;
    services.catalogue.read([&](const Catalogue& catalogue) {
        const CatalogueUser* u = catalogue.user(user);
        for (const auto& l : catalogue.locales) {
            if (u != nullptr && !locale &&
                (!u->locales ||
                 std::find(u->locales->begin(), u->locales->end(), l.id) != u->locales->end())) {
                locale = l.id;
            }
        }
    });
    return locale;
}

RouteHandler filesOf(const CmsServices& services, CatalogueState::Proximity kind) {
    return EndpointSupport::framed(
        services, [&services, kind](int user, const CmsRequest& request) {
            auto locale = localeFor(services, user, request);
            if (!locale) {
                return EndpointSupport::badRequest("no content language for this user");
            }
            auto answer = services.catalogue.linkedFiles(user, *locale, kind,
                                                         EndpointSupport::idCapture(request, 0));
            if (!answer.ok()) {
                return CmsResponse::error(answer.error().code, answer.error().description);
            }
            return CmsResponse::json(answer.value());
        });
}

}  // namespace

void ProximityEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    const std::string id = "([0-9]{1,9})";
    using Proximity = CatalogueState::Proximity;

    // revision() takes the catalogue's lock, so the list is built first and stamped after.
    auto list = [&services](std::function<json(const Catalogue&)> items) {
        return EndpointSupport::framed(services, [&services, items](int, const CmsRequest&) {
            json built;
            services.catalogue.read([&](const Catalogue& catalogue) { built = items(catalogue); });
            return CmsResponse::json(
                json{{"success", true},
                     {"items", built},
                     {"timestamp", std::to_string(services.catalogue.revision())}}
                    .dump());
        });
    };
    routes.add("GET", api + "/beacon/list$", list([](const Catalogue& catalogue) {
                   json items = json::array();
                   for (const auto& b : catalogue.beacons) {
                       items.push_back({{"id", std::to_string(b.id)},
                                        {"uuid", b.uuid},
                                        {"major", b.major},
                                        {"minor", b.minor},
                                        {"name", b.name}});
                   }
                   return items;
               }));
    routes.add("GET", api + "/customer/listGps$", list([](const Catalogue& catalogue) {
                   json items = json::array();
                   for (const auto& c : catalogue.customers) {
                       items.push_back({{"id", std::to_string(c.id)},
                                        {"name", c.name},
                                        {"lat", c.lat},
                                        {"lng", c.lng}});
                   }
                   return items;
               }));
    routes.add("GET", api + "/customergroup/list$", list([](const Catalogue& catalogue) {
                   json items = json::array();
                   for (const auto& g : catalogue.customerGroups) {
                       items.push_back({{"id", std::to_string(g.id)},
                                        {"name", g.name},
                                        {"customer_ids", idTexts(g.customers)}});
                   }
                   return items;
               }));
    routes.add(
        "GET", api + "/qrcode/list$", list([](const Catalogue& catalogue) {
            json items = json::array();
            for (const auto& q : catalogue.qrcodes) {
                items.push_back({{"id", std::to_string(q.id)}, {"url", q.url}, {"name", q.name}});
            }
            return items;
        }));
    routes.add("GET", api + "/beacon/files/" + id + "$", filesOf(services, Proximity::Beacon));
    routes.add("GET", api + "/customer/files/" + id + "$", filesOf(services, Proximity::Customer));
    routes.add("GET", api + "/customergroup/files/" + id + "$",
               filesOf(services, Proximity::CustomerGroup));
    routes.add("GET", api + "/qrcode/files/" + id + "$", filesOf(services, Proximity::QRCode));
}

}  // namespace pagewell::cms
