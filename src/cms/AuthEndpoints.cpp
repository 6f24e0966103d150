#include "cms/AuthEndpoints.h"

#include <openssl/evp.h>

#include <nlohmann/json.hpp>

#include "platform/Logger.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

struct Credentials {
    std::string username;
    std::string password;
};

std::optional<Credentials> basicCredentials(const CmsRequest& request) {
    auto header = request.header("Authorization");
    static constexpr std::string_view kBasic = "Basic ";
    if (!header || header->size() <= kBasic.size() || header->compare(0, kBasic.size(), kBasic)) {
        return std::nullopt;
    }
    const std::string encoded = header->substr(kBasic.size());
    if (encoded.size() % 4 != 0 || encoded.size() > 4096) {
        return std::nullopt;
    }
    std::string decoded(encoded.size() / 4 * 3, '\0');
    int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                 reinterpret_cast<const unsigned char*>(encoded.data()),
                                 static_cast<int>(encoded.size()));
    if (length < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t padding = 0;
    for (auto it = encoded.rbegin(); it != encoded.rend() && *it == '=' && padding < 2; ++it) {
        ++padding;
    }
    decoded.resize(static_cast<std::size_t>(length) - padding);
    auto colon = decoded.find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return Credentials{decoded.substr(0, colon), decoded.substr(colon + 1)};
}

CmsResponse refused(int status) {
    return CmsResponse::json(json{{"success", false}}.dump(), status);
}

bool appSecretMatches(const CmsServices& services, const std::string& secret) {
    return services.options.appSecret.empty() || services.options.appSecret == secret;
}

CmsResponse signIn(const CmsServices& services, const std::string& username,
                   const std::string& password) {
    auto user = services.catalogue.userWithCredentials(username, password);
    if (!user) {
        PW_LOG_INFO("refused sign-in for {}", username);
        return refused(401);
    }
    const std::string token = services.tokens.issue(user->id);
    if (token.empty()) {
        return CmsResponse::error(500, "no token could be made");
    }
    return CmsResponse::json(json{{"success", true},
                                  {"token", token},
                                  {"secret", user->secret ? json(*user->secret) : json(nullptr)},
                                  {"userId", std::to_string(user->id)}}
                                 .dump());
}

// The header login: X-Uid names the installation, X-App-Secret the deployment, Basic
// authorisation the user.
CmsResponse headerLogin(const CmsServices& services, const CmsRequest& request) {
    if (!appSecretMatches(services, request.header("X-App-Secret").value_or(""))) {
        return refused(403);
    }
    if (request.header("X-Uid").value_or("").empty()) {
        return refused(401);
    }
    auto credentials = basicCredentials(request);
    if (!credentials) {
        return refused(401);
    }
    return signIn(services, credentials->username, credentials->password);
}

}  // namespace

void AuthEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = kApiBase;
    // The probe tells a client that the header login exists; it needs no credentials.
    routes.add("HEAD", "^" + api + "/auth/loginv2$",
               [](const CmsRequest&) { return CmsResponse::json(""); });
    routes.add("GET", "^" + api + "/auth/loginv2$",
               [&services](const CmsRequest& request) { return headerLogin(services, request); });
    routes.add("GET", "^" + api + "/auth/appConnectLogin$",
               [&services](const CmsRequest& request) { return headerLogin(services, request); });
    routes.add("GET", "^" + api + "/auth/login/([^/]*)/([^/]*)/([^/]*)/([^/]*)$",
               [&services](const CmsRequest& request) {
                   const auto& c = request.captures;
                   if (!appSecretMatches(services, c[3])) {
                       return refused(403);
                   }
                   if (c[2].empty()) {
                       return refused(401);
                   }
                   return signIn(services, c[0], c[1]);
               });
    routes.add("GET", "^" + api + "/auth/logout$", [&services](const CmsRequest& request) {
        if (!services.authenticatedUser(request)) {
            return CmsResponse::empty();
        }
        services.tokens.revoke(*request.queryValue("token"));
        return CmsResponse::json(json{{"success", true}}.dump());
    });
    routes.add("POST", std::string("^") + kPlainApiBase + "/auth/forgot$",
               [&services](const CmsRequest& request) {
                   if (!appSecretMatches(services, request.header("X-App-Secret").value_or(""))) {
                       return refused(403);
                   }
                   auto body = json::parse(request.body, nullptr, false);
                   if (body.is_discarded() || !body.is_object() || !body.contains("username") ||
                       !body["username"].is_string()) {
                       return CmsResponse::error(400, "expected {\"username\": text}");
                   }
                   // The answer is the same for unknown names, so it tells nobody who exists.
                   PW_LOG_INFO("password reset asked for {}", body["username"].get<std::string>());
                   return CmsResponse::json(json{{"success", true}}.dump());
               });
}

}  // namespace pagewell::cms
