#include "cms/SharingEndpoints.h"

#include <algorithm>

#include "cms/EndpointSupport.h"
#include "cms/ShareLinkSignature.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

struct FileFacts {
    bool shareable = false;
    std::string location;
    std::vector<int> locales;
};

// The file when it exists and `user` may see it.
std::optional<FileFacts> visibleFile(const CmsServices& services, int user, int file) {
    std::optional<FileFacts> facts;
    services.catalogue.read([&](const Catalogue& catalogue) {
        const CatalogueFile* f = catalogue.file(file);
        if (f == nullptr ||
            (f->users && std::find(f->users->begin(), f->users->end(), user) == f->users->end())) {
            return;
        }
        facts = FileFacts{
            f->shareable,
            f->location.empty() ? Catalogue::defaultLocation(f->id, f->path) : f->location,
            f->locales};
    });
    return facts;
}

bool isLinkId(const std::string& text) {
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

CmsResponse stateFailure(const Error& error) {
    if (error.domain == "CmsRequest") {
        return CmsResponse::error(error.code, error.description);
    }
    PW_LOG_ERROR_VALUE(error);
    return CmsResponse::error(500, "cannot keep the change");
}

CmsResponse confirmRead(const CmsServices& services, int user, const CmsRequest& request) {
    auto parameters = EndpointSupport::parameters(request);
    if (!parameters.ok()) {
        return EndpointSupport::badRequest(parameters.error().description);
    }
    auto date = parameters.value().find("confirm_date");
    if (date == parameters.value().end() || !date->is_string() ||
        date->get<std::string>().empty() || !isServerDateText(date->get<std::string>())) {
        return EndpointSupport::badRequest("expected {\"confirm_date\": \"yyyy-MM-dd HH:mm:ss\"}");
    }
    const int file = EndpointSupport::idCapture(request, 0);
    if (!visibleFile(services, user, file)) {
        return CmsResponse::error(404, "no such file");
    }
    auto stored = services.state.update([&](json& document) -> Status {
        json& confirmations = document["read_confirmations"];
        // The latest confirmation of a user for a file is the one that counts.
        for (auto it = confirmations.begin(); it != confirmations.end(); ++it) {
            if ((*it)["user"] == user && (*it)["file_id"] == file) {
                confirmations.erase(it);
                break;
            }
        }
        confirmations.push_back({{"user", user},
                                 {"file_id", file},
                                 {"confirm_date", *date},
                                 {"received", EndpointSupport::nowText()}});
        return {};
    });
    return stored.ok() ? EndpointSupport::success() : stateFailure(stored.error());
}

CmsResponse registerLink(const CmsServices& services, int user, const CmsRequest& request) {
    auto parameters = EndpointSupport::parameters(request);
    if (!parameters.ok()) {
        return EndpointSupport::badRequest(parameters.error().description);
    }
    auto file = EndpointSupport::idParameter(parameters.value(), "file_id");
    auto uuid = parameters.value().find("share_uuid");
    if (!file || uuid == parameters.value().end() || !uuid->is_string() ||
        !isLinkId(uuid->get<std::string>())) {
        return EndpointSupport::badRequest(
            "expected {\"file_id\": id, \"share_uuid\": 32 lowercase hexadecimal digits}");
    }
    auto facts = visibleFile(services, user, *file);
    if (!facts) {
        return CmsResponse::error(404, "no such file");
    }
    if (!facts->shareable) {
        return CmsResponse::error(403, "the file may not be shared");
    }
    int id = 0;
    auto stored = services.state.update([&](json& document) -> Status {
        for (json& link : document["share_links"]) {
            if (link["share_uuid"] != *uuid) {
                continue;
            }
            if (link["user"] != user || link["file_id"] != *file) {
                return Error::make("CmsRequest", 409, "the link id is taken");
            }
            // Registered again (an answer that got lost), or opened before it was registered.
            if (link["id"] == 0) {
                link["id"] = CmsStateStore::takeId(document);
            }
            id = link["id"];
            return {};
        }
        id = CmsStateStore::takeId(document);
        document["share_links"].push_back({{"id", id},
                                           {"user", user},
                                           {"file_id", *file},
                                           {"share_uuid", *uuid},
                                           {"read", 0},
                                           {"opened", json::array()}});
        return {};
    });
    if (!stored.ok()) {
        return stateFailure(stored.error());
    }
    return EndpointSupport::success({{"id", std::to_string(id)}});
}

CmsResponse readState(const CmsServices& services, int user, const CmsRequest& request) {
    auto parameters = EndpointSupport::parameters(request);
    if (!parameters.ok()) {
        return EndpointSupport::badRequest(parameters.error().description);
    }
    auto uuid = parameters.value().find("share_uuid");
    if (uuid == parameters.value().end() || !uuid->is_string()) {
        return EndpointSupport::badRequest("share_uuid missing");
    }
    std::optional<int> read;
    services.state.read([&](const json& document) {
        for (const json& link : document["share_links"]) {
            if (link["share_uuid"] == *uuid && link["user"] == user && link["id"] != 0) {
                read = link["read"].get<int>();
            }
        }
    });
    if (!read) {
        return CmsResponse::error(404, "no such link");
    }
    return EndpointSupport::success({{"read", std::to_string(*read)}});
}

// A recipient follows a link: check every part, mark the link read, hand out the content.
CmsResponse openLink(const CmsServices& services, const CmsRequest& request) {
    const auto& c = request.captures;  // locale, file, time, user, signature, link id
    const int locale = EndpointSupport::idCapture(request, 0);
    const int file = EndpointSupport::idCapture(request, 1);
    const int user = EndpointSupport::idCapture(request, 3);
    auto account = services.catalogue.user(user);
    if (!account || !account->secret || !isLinkId(c[5])) {
        return CmsResponse::error(403, "invalid share link");
    }
    const std::string expected = ShareLinkSignature::sign(services.options.appSecret, c[0], c[1],
                                                          c[2], c[3], *account->secret);
    if (!ShareLinkSignature::matches(expected, c[4])) {
        PW_LOG_WARNING("refused a share link with a wrong signature for file {}", file);
        return CmsResponse::error(403, "invalid share link");
    }
    auto facts = visibleFile(services, user, file);
    if (!facts ||
        std::find(facts->locales.begin(), facts->locales.end(), locale) == facts->locales.end()) {
        return CmsResponse::error(404, "no such file");
    }
    if (!facts->shareable) {
        return CmsResponse::error(403, "the file may not be shared");
    }
    auto item = services.catalogue.download(facts->location);
    if (!item) {
        return CmsResponse::error(404, "no such file");
    }
    CmsResponse response;
    response.contentType = item->mimeType;
    response.rangeable = true;
    if (item->bytes) {
        response.body = *item->bytes;
    } else {
        auto bytes = FileSystem::readFile(item->path);
        if (!bytes.ok()) {
            PW_LOG_ERROR_VALUE(bytes.error());
            return CmsResponse::error(500, "cannot read the file");
        }
        response.body = std::move(bytes).value();
    }
    const std::string linkId = c[5];
    auto stored = services.state.update([&](json& document) -> Status {
        for (json& link : document["share_links"]) {
            if (link["share_uuid"] != linkId) {
                continue;
            }
            if (link["user"] != user || link["file_id"] != file) {
                return Error::make("CmsRequest", 409, "the link id belongs to another link");
            }
            link["read"] = 1;
            link["opened"].push_back(EndpointSupport::nowText());
            return {};
        }
        // Opened before the sender's app registered it: remember the read for that moment.
        document["share_links"].push_back({{"id", 0},
                                           {"user", user},
                                           {"file_id", file},
                                           {"share_uuid", linkId},
                                           {"read", 1},
                                           {"opened", {EndpointSupport::nowText()}}});
        return {};
    });
    if (!stored.ok()) {
        return stateFailure(stored.error());
    }
    return response;
}

}  // namespace

void SharingEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    const std::string id = "([0-9]{1,9})";
    routes.add("POST", api + "/read/confirm/" + id + "$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return confirmRead(services, user, r);
               }));
    routes.add("POST", api + "/share/readstate$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return registerLink(services, user, r);
               }));
    routes.add("GET", api + "/share/readstate$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return readState(services, user, r);
               }));
    routes.add("GET",
               api + "/share/" + id + "/" + id + "/([0-9]{1,12})/" + id + "/([^/]*)/([^/]*)$",
               [&services](const CmsRequest& r) { return openLink(services, r); });
}

}  // namespace pagewell::cms
