#include "cms/ConfigEndpoints.h"

#include <cctype>

#include "cms/CataloguePaths.h"
#include "cms/CmsStateStore.h"
#include "cms/EndpointSupport.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

std::vector<long> versionParts(const std::string& text) {
    std::vector<long> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('.', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        long value = 0;
        for (std::size_t i = start; i < end && std::isdigit(static_cast<unsigned char>(text[i]));
             ++i) {
            value = std::min(value * 10 + (text[i] - '0'), 1'000'000'000L);
        }
        parts.push_back(value);
        start = end + 1;
    }
    return parts;
}

// A catalogue section as JSON; none when the catalogue has no such section.
std::optional<json> section(const CmsServices& services, const std::string& name) {
    std::optional<json> value;
    services.catalogue.read([&](const Catalogue& catalogue) {
        auto it = catalogue.extensions.find(name);
        if (it != catalogue.extensions.end()) {
            value = json::parse(it->second, nullptr, false);
        }
    });
    if (value && value->is_discarded()) {
        return std::nullopt;
    }
    return value;
}

std::string fileName(const std::string& relative) {
    return std::filesystem::path(relative).filename().string();
}

json logoName(const json& theme, const char* key) {
    auto it = theme.find(key);
    if (it == theme.end() || !it->is_string() || it->get<std::string>().empty()) {
        return nullptr;
    }
    return fileName(it->get<std::string>());
}

CmsResponse themeAnswer(const CmsServices& services) {
    auto theme = section(services, "theme");
    if (!theme) {
        return CmsResponse::json(json{
            {"success", false},
            {"status", 404},
            {"errors", {"No theme is configured."}},
            {"color", json::object()},
            {"logo_path", nullptr},
            {"logo", nullptr},
            {"login_screen_logo",
             nullptr}}.dump());
    }
    if (!theme->is_object()) {
        return CmsResponse::error(500, "the catalogue's theme is not an object");
    }
    json logo = logoName(*theme, "logo");
    json loginLogo = logoName(*theme, "login_screen_logo");
    json answer = {
        {"success", true},
        {"status", 200},
        {"errors", json::array()},
        {"color", theme->value("color", json::object())},
        {"logo_path",
         logo.is_null() && loginLogo.is_null() ? json(nullptr) : json(ConfigEndpoints::kLogoPath)},
        {"logo", logo},
        {"login_screen_logo", loginLogo}};
    if (theme->contains("text_shadow")) {
        answer["text_shadow"] = (*theme)["text_shadow"];
    }
    return CmsResponse::json(answer.dump());
}

CmsResponse logo(const CmsServices& services, const std::string& name) {
    auto theme = section(services, "theme");
    if (!theme || !theme->is_object()) {
        return CmsResponse::error(404, "not found");
    }
    for (const char* key : {"logo", "login_screen_logo"}) {
        auto it = theme->find(key);
        if (it == theme->end() || !it->is_string() || fileName(it->get<std::string>()) != name) {
            continue;
        }
        std::filesystem::path directory;
        services.catalogue.read(
            [&](const Catalogue& catalogue) { directory = catalogue.directory; });
        auto path = CataloguePaths::resolve(directory, it->get<std::string>());
        if (!path.ok()) {
            return CmsResponse::error(404, "not found");
        }
        auto bytes = FileSystem::readFile(path.value());
        if (!bytes.ok()) {
            PW_LOG_ERROR_VALUE(bytes.error());
            return CmsResponse::error(500, "cannot read the logo");
        }
        CmsResponse response;
        const std::string extension = path.value().extension().string();
        response.contentType = extension == ".png" ? "image/png" : "image/jpeg";
        response.body = std::move(bytes).value();
        return response;
    }
    return CmsResponse::error(404, "not found");
}

}  // namespace

int ConfigEndpoints::compareVersions(const std::string& a, const std::string& b) {
    auto left = versionParts(a);
    auto right = versionParts(b);
    const std::size_t count = std::max(left.size(), right.size());
    left.resize(count, 0);
    right.resize(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (left[i] != right[i]) {
            return left[i] < right[i] ? -1 : 1;
        }
    }
    return 0;
}

void ConfigEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    const CmsServerOptions& options = services.options;

    routes.add("GET", api + "/version$", [](const CmsRequest&) {
        return CmsResponse::json(json{{"version", kApiVersion}}.dump());
    });
    routes.add("POST", api + "/check/clientversion$", [&options](const CmsRequest& request) {
        auto parameters = EndpointSupport::parameters(request);
        if (!parameters.ok()) {
            return EndpointSupport::badRequest(parameters.error().description);
        }
        auto version = parameters.value().find("version");
        if (version == parameters.value().end() || !version->is_string()) {
            return EndpointSupport::badRequest("expected {\"version\": text}");
        }
        if (!options.minimumClientVersion.empty() &&
            compareVersions(version->get<std::string>(), options.minimumClientVersion) < 0) {
            // The client shows the body as the version it has to update to.
            CmsResponse response;
            response.status = 426;
            response.contentType = "text/plain";
            response.body = options.minimumClientVersion;
            return response;
        }
        return EndpointSupport::success();
    });
    routes.add("GET", api + "/check/maintenance$", [&options](const CmsRequest&) {
        return CmsResponse::json(json{{"maintenance", options.maintenance}}.dump());
    });
    routes.add("POST", api + "/config/init$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& request) {
                   auto parameters = EndpointSupport::parameters(request);
                   if (!parameters.ok()) {
                       return EndpointSupport::badRequest(parameters.error().description);
                   }
                   const json& p = parameters.value();
                   auto config = p.find("config_json");
                   if (config == p.end() || !config->is_object() || !config->contains("uid") ||
                       !(*config)["uid"].is_string() ||
                       (*config)["uid"].get<std::string>().empty()) {
                       return EndpointSupport::badRequest(
                           "expected {\"config_json\": {\"uid\": text, \"push_token\": text}}");
                   }
                   const std::string uid = (*config)["uid"];
                   const json pushToken = config->value("push_token", json(nullptr));
                   auto stored = services.state.update([&](json& document) -> Status {
                       json& devices = document["devices"];
                       for (auto it = devices.begin(); it != devices.end(); ++it) {
                           if ((*it)["user"] == user && (*it)["uid"] == uid) {
                               devices.erase(it);
                               break;
                           }
                       }
                       devices.push_back({{"user", user},
                                          {"uid", uid},
                                          {"push_token", pushToken},
                                          {"received", EndpointSupport::nowText()}});
                       return {};
                   });
                   if (!stored.ok()) {
                       PW_LOG_ERROR_VALUE(stored.error());
                       return CmsResponse::error(500, "cannot keep the registration");
                   }
                   return EndpointSupport::success();
               }));
    routes.add("GET", api + "/tracking/config$",
               EndpointSupport::framed(services, [&services](int, const CmsRequest&) {
                   auto tracking = section(services, "tracking");
                   json config = tracking && tracking->is_object() ? *tracking : json::object();
                   return CmsResponse::json(json{{"success", true}, {"config", config}}.dump());
               }));
    routes.add("GET", api + "/youtube/config/([0-9]{1,9})$",
               EndpointSupport::framed(services, [&services](int, const CmsRequest& request) {
                   const int locale = EndpointSupport::idCapture(request, 0);
                   bool known = false;
                   services.catalogue.read([&](const Catalogue& catalogue) {
                       known = catalogue.locale(locale) != nullptr;
                   });
                   if (!known) {
                       return CmsResponse::error(404, "unknown locale");
                   }
                   auto youtube = section(services, "youtube");
                   if (!youtube || !youtube->is_object()) {
                       return CmsResponse::json(
                           json{{"success", false}, {"status", 404}, {"config", nullptr}}.dump());
                   }
                   // A locale may name its own channel; the others share the default one.
                   json config = *youtube;
                   config.erase("locales");
                   if (auto locales = youtube->find("locales");
                       locales != youtube->end() && locales->is_object() &&
                       locales->contains(std::to_string(locale))) {
                       config = (*locales)[std::to_string(locale)];
                   }
                   return CmsResponse::json(
                       json{{"success", true}, {"status", 200}, {"config", config}}.dump());
               }));
    routes.add("GET", api + "/theme/dump$",
               [&services](const CmsRequest&) { return themeAnswer(services); });
    routes.add(
        "GET", std::string("^") + kLogoPath + "/[0-9]{1,5}/([^/]+)$",
        [&services](const CmsRequest& request) { return logo(services, request.captures.at(0)); });
}

}  // namespace pagewell::cms
