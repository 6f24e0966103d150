#pragma once
// The session operations beside the login itself (which InterfaceManager owns): the app-connect
// login, logout, the password reminder, the API version, the client-version and maintenance
// checks, and the push registration.
//
// Threading: a SessionRequests is a thin handle used on the main thread; callbacks run on the
// main queue, exactly one per call.

#include <functional>
#include <optional>
#include <string>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"

namespace pagewell {

class SessionRequests {
  public:
    using Json = nlohmann::json;
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;
    using TokenCompletion = InterfaceManager::TokenCompletion;
    using JsonCompletion = std::function<void(const Json& value)>;
    // (update needed, minimum version): the version is the body of a 426 answer.
    using VersionCheckCompletion =
        std::function<void(bool updateNeeded, std::optional<std::string> minimumVersion)>;
    using MaintenanceCompletion = std::function<void(bool maintenance)>;

    explicit SessionRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                             EndpointDelegates& delegates = EndpointDelegates::shared());

    // GET auth/appConnectLogin with "X-Uid", "X-App-Secret" and Basic authorisation (401 and
    // 403 accepted), read as the login answer. A "userId" becomes the current user's server
    // identifier (store saved); the keychain and the current user stay as they are.
    void appConnectLoginWithUsername(const std::string& username, const std::string& password,
                                     TokenCompletion completion, ErrorCallback error);
    // GET auth/logout (framed).
    void logout(Done completion, ErrorCallback error);
    // POST {"username": user} to "CMSURL"/api/auth/forgot with "X-Uid" and "X-App-Secret".
    void forgotPasswordForUser(const std::string& username, Done completion, ErrorCallback error);
    // HEAD then GET "version"; the completion receives the answer's "version" (logged
    // "resp: %@").
    void getAPIVersion(JsonCompletion completion, ErrorCallback error);
    // POST {"version": short version} to check/clientversion: a 426 answer gives (yes, its
    // body); anything else, offline included, (no, none).
    void checkMinAppVersionForCms(VersionCheckCompletion completion);
    // GET check/maintenance: the answer's "maintenance"; an empty answer counts as yes, a 404
    // as no, any other failure as yes; offline: no.
    void checkMaintenance(MaintenanceCompletion completion);
    // POST config/init (framed) with the token, the installation identifier and the push
    // token; without a push token: "VXErrorDomain" -1 kNoPushConfig, nothing sent.
    void postInitConfig(Done completion, ErrorCallback error);

    static constexpr const char* kAppConnectLoginPath = "auth/appConnectLogin";
    static constexpr const char* kForgotPasswordPathFormat = "{}/api/auth/forgot";
    static constexpr const char* kVersionPath = "version";
    static constexpr const char* kNoPushConfig = "Could not initialize push config dictionary";
    static constexpr const char* kLogVersionResponse = "resp: {}";
    static constexpr int kUpgradeRequiredStatus = 426;
    static constexpr int kNotFoundStatus = 404;

  private:
    RequestRunner runner_;
};

}  // namespace pagewell
