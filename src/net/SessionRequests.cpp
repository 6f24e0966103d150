#include "net/SessionRequests.h"

#include <fmt/format.h>

#include "app/AppSettings.h"
#include "app/SettingsPlaceholders.h"
#include "net/AccountManager.h"
#include "net/KeychainBridge.h"
#include "platform/Logger.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

// Gives the signed-in user the server's identifier and saves the main context.
void storeServerUserID(std::int64_t userID) {
    auto store = PersistentStore::shared();
    auto user = AccountManager::currentUser();
    if (!store || !user) {
        PW_LOG_WARNING("No signed-in user to give the server identifier {}", userID);
        return;
    }
    StoreContext& context = store->mainContext();
    user->cmsID = userID;
    Status status = user->update(context);
    if (status.ok()) {
        status = context.save();
    }
    if (!status.ok()) {
        PW_LOG_ERROR_VALUE(status.error());
        context.rollback();
    }
}

std::string configuredServer() {
    std::string url = AppSettings::cmsUrl().value_or("");
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url;
}

}  // namespace

SessionRequests::SessionRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

void SessionRequests::appConnectLoginWithUsername(const std::string& username,
                                                  const std::string& password,
                                                  TokenCompletion completion, ErrorCallback error) {
    InterfaceManager::RawRequest request;
    request.method = "GET";
    request.path = kAppConnectLoginPath;
    request.headers = {
        {InterfaceManager::kUidHeader, AccountManager::UID()},
        {InterfaceManager::kAppSecretHeader, AppSettings::loginSecret().value_or("")}};
    request.basicAuth = std::make_pair(username, password);
    request.extraAcceptedStatuses = {401, 403};
    runner_.manager().send(
        std::move(request),
        [completion](const InterfaceManager::RawResponse& response) {
            const Json answer = response.json.value_or(Json());
            auto token = InterfaceManager::tokenFromLoginResponse(answer);
            auto secret = InterfaceManager::secretFromLoginResponse(answer);
            if (token) {
                if (auto userID = RequestRunner::integerOf(answer, "userId")) {
                    storeServerUserID(*userID);
                }
            }
            completion(token, secret);
        },
        [error](const Error& failure, const InterfaceManager::RawResponse&) {
            PW_LOG_ERROR(InterfaceManager::kLogNoToken);
            error(failure);
        });
}

void SessionRequests::logout(Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    manager.sendRequest(
        manager.pathForRestMethod("logout", "auth"), [completion](const Json&) { completion(); },
        error);
}

void SessionRequests::forgotPasswordForUser(const std::string& username, Done completion,
                                            ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    InterfaceManager::RawRequest request;
    request.method = "POST";
    // The reminder lives under the older API root, next to the framed one.
    request.path = fmt::format(kForgotPasswordPathFormat, configuredServer());
    request.headers = {
        {InterfaceManager::kUidHeader, AccountManager::UID()},
        {InterfaceManager::kAppSecretHeader, AppSettings::loginSecret().value_or("")}};
    request.jsonBody = Json{{"username", username}};
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    runner_.manager().send(
        std::move(request), [completion](const InterfaceManager::RawResponse&) { completion(); },
        [error](const Error& failure, const InterfaceManager::RawResponse&) { error(failure); });
}

void SessionRequests::getAPIVersion(JsonCompletion completion, ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(Json()); })) {
        return;
    }
    InterfaceManager* manager = &runner_.manager();
    InterfaceManager::RawRequest probe;
    probe.method = "HEAD";
    probe.path = kVersionPath;
    probe.acceptedContentTypes = {};
    probe.decodeJson = false;
    manager->send(
        std::move(probe),
        [manager, completion, error](const InterfaceManager::RawResponse&) {
            InterfaceManager::RawRequest request;
            request.path = kVersionPath;
            manager->send(
                std::move(request),
                [completion, error](const InterfaceManager::RawResponse& response) {
                    const Json answer = response.json.value_or(Json());
                    if (!answer.is_object() || !answer.contains("version")) {
                        RequestRunner::fail(
                            error, RequestRunner::badAnswer("The version answer has no version."));
                        return;
                    }
                    PW_LOG_INFO(kLogVersionResponse, RequestRunner::describe(answer));
                    completion(answer["version"]);
                },
                [error](const Error& failure, const InterfaceManager::RawResponse&) {
                    error(failure);
                });
        },
        [error](const Error& failure, const InterfaceManager::RawResponse&) { error(failure); });
}

void SessionRequests::checkMinAppVersionForCms(VersionCheckCompletion completion) {
    if (runner_.finishedOffline([completion] { completion(false, std::nullopt); })) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.method = "POST";
    request.path = manager.pathForRestMethod("clientversion", "check");
    request.jsonBody = Json{{"version", SettingsPlaceholders::appVersion()}};
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    manager.send(
        std::move(request),
        [completion](const InterfaceManager::RawResponse&) { completion(false, std::nullopt); },
        [completion](const Error&, const InterfaceManager::RawResponse& response) {
            if (response.status == kUpgradeRequiredStatus) {
                completion(true, response.body);
                return;
            }
            completion(false, std::nullopt);
        });
}

void SessionRequests::checkMaintenance(MaintenanceCompletion completion) {
    if (runner_.finishedOffline([completion] { completion(false); })) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.path = manager.pathForRestMethod("maintenance", "check");
    manager.send(
        std::move(request),
        [completion](const InterfaceManager::RawResponse& response) {
            if (!response.json) {
                // No answer at all: the server is not serving the app.
                completion(true);
                return;
            }
            const Json& answer = *response.json;
            if (!answer.is_object()) {
                PW_LOG_WARNING("The maintenance answer is not a JSON object: {}",
                               RequestRunner::describe(answer));
                completion(true);
                return;
            }
            auto flag = answer.find("maintenance");
            if (flag == answer.end() || flag->is_null()) {
                completion(false);
            } else if (flag->is_boolean()) {
                completion(flag->get<bool>());
            } else {
                completion(RequestRunner::integerOf(answer, "maintenance").value_or(0) != 0);
            }
        },
        [completion](const Error&, const InterfaceManager::RawResponse& response) {
            // A server without the check answers 404 and is not in maintenance.
            completion(response.status != kNotFoundStatus);
        });
}

void SessionRequests::postInitConfig(Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto pushToken = AccountManager::pushToken();
    if (!pushToken || pushToken->empty()) {
        RequestRunner::fail(error,
                            Error::make(InterfaceManager::kAppErrorDomain, -1, kNoPushConfig));
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RequestOptions options;
    options.postData =
        Json{{"token", KeychainBridge::shared().token()},
             {"config_json", Json{{"uid", AccountManager::UID()}, {"push_token", *pushToken}}}};
    manager.sendRequest(
        manager.pathForRestMethod("init", "config"), [completion](const Json&) { completion(); },
        error, std::move(options));
}

}  // namespace pagewell
