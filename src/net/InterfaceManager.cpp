#include "net/InterfaceManager.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <mutex>

#include "app/AppSettings.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "diag/AFNetworkLumberjackLogger.h"
#include "diag/LogRedactor.h"
#include "net/AccountManager.h"
#include "net/AnswerLimits.h"
#include "net/KeychainBridge.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/Presenter.h"
#include "platform/ReachabilityWatcher.h"
#include "store/PersistentStore.h"
#include "store/User.h"

namespace pagewell {

namespace {

std::mutex sharedMutex;
std::shared_ptr<InterfaceManager> sharedManager;  // guarded by sharedMutex

std::string withTrailingSlash(std::string url) {
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    return url;
}

// Puts `token` in place of the value of every "token" query parameter of `path`, or appends
// the parameter when there is none. The other parameters keep their order.
std::string replaceTokenParameter(const std::string& path, const std::string& escapedToken) {
    const auto question = path.find('?');
    if (question == std::string::npos) {
        return path + "?token=" + escapedToken;
    }
    const auto fragment = path.find('#', question);
    const std::string query = path.substr(
        question + 1, fragment == std::string::npos ? std::string::npos : fragment - question - 1);
    std::string rebuilt;
    bool replaced = false;
    std::size_t start = 0;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        std::string part = query.substr(start, end - start);
        const auto equals = part.find('=');
        if (part.substr(0, equals) == "token") {
            part = "token=" + escapedToken;
            replaced = true;
        }
        if (!rebuilt.empty() || start > 0) {
            rebuilt += '&';
        }
        rebuilt += part;
        start = end + 1;
    }
    if (!replaced) {
        rebuilt += (rebuilt.empty() ? "" : "&") + std::string("token=") + escapedToken;
    }
    std::string result = path.substr(0, question + 1) + rebuilt;
    if (fragment != std::string::npos) {
        result += path.substr(fragment);
    }
    return result;
}

std::optional<HttpMethod> methodNamed(const std::string& name) {
    static constexpr HttpMethod kMethods[] = {HttpMethod::Head, HttpMethod::Get, HttpMethod::Post,
                                              HttpMethod::Put, HttpMethod::Delete};
    for (HttpMethod method : kMethods) {
        if (name == httpMethodName(method)) {
            return method;
        }
    }
    return std::nullopt;
}

// "userId" is decimal text; a number is taken as well.
std::optional<std::int64_t> userIdFromLoginResponse(const nlohmann::json& answer) {
    if (!answer.is_object()) {
        return std::nullopt;
    }
    auto it = answer.find("userId");
    if (it == answer.end()) {
        return std::nullopt;
    }
    if (it->is_number_integer()) {
        return it->get<std::int64_t>();
    }
    if (!it->is_string()) {
        return std::nullopt;
    }
    const auto& text = it->get_ref<const std::string&>();
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Whether the login answer can be judged at all: an object with a boolean "success".
bool isReadableLoginResponse(const nlohmann::json& answer) {
    return answer.is_object() && answer.contains("success") && answer["success"].is_boolean();
}

Error unreadableLoginError() {
    return Error::make(InterfaceManager::kResponseErrorDomain,
                       InterfaceManager::kBadResponseErrorCode,
                       "The server's answer to the sign-in could not be read.");
}

Error badShapeError() {
    return Error::make(InterfaceManager::kResponseErrorDomain,
                       InterfaceManager::kBadResponseErrorCode,
                       "The server's answer is neither a JSON object nor a list.");
}

// A refused token comes back as a successful answer without a body. Servers give such an
// answer some content type ("text/plain") that the JSON-only acceptance refuses; an empty body
// has nothing to misread, so it counts as the empty answer whatever its type.
bool isEmptyAnswer(const HttpResult& result) {
    const auto& response = result.response;
    if (!response.body.empty() || response.status < 200 || response.status > 299) {
        return false;
    }
    return result.ok() || (result.error->domain == HttpErrors::kHttpDomain &&
                           result.error->code == HttpErrors::kUnacceptableContentType);
}

void logFailure(const std::string& url, const Error& error) {
    PW_LOG_ERROR(InterfaceManager::kLogRequestFailed, LogRedactor::redactUrl(url));
    PW_LOG_ERROR("Error[{}]: {}", error.code, LogRedactor::redactText(error.description));
}

void logTokenFailure(const Error& error) {
    PW_LOG_ERROR(InterfaceManager::kLogNoToken);
    PW_LOG_ERROR("Error[{}]: {}", error.code, LogRedactor::redactText(error.description));
}

// The readable answer of a sign-in request; a failed transfer or an unreadable answer is logged
// as a missing token and reported to `error` instead.
std::optional<nlohmann::json> loginAnswer(const HttpResult& result,
                                          const InterfaceManager::ErrorCallback& error) {
    if (!result.ok()) {
        logTokenFailure(*result.error);
        error(*result.error);
        return std::nullopt;
    }
    nlohmann::json answer = result.response.json ? *result.response.json : nlohmann::json();
    if (!isReadableLoginResponse(answer)) {
        PW_LOG_ERROR(InterfaceManager::kLogNoTokenInJson);
        Error unreadable = unreadableLoginError();
        logTokenFailure(unreadable);
        error(unreadable);
        return std::nullopt;
    }
    return answer;
}

}  // namespace

struct InterfaceManager::Impl {
    InterfaceManager& owner;
    HttpSessionOptions sessionOptions;
    std::string baseURL;
    std::shared_ptr<HttpSession> session;
    // Sessions replaced by setBaseURL, kept until their transfers have reported.
    std::vector<std::shared_ptr<HttpSession>> retiredSessions;
    std::map<const HttpSession*, int> inFlight;
    std::unique_ptr<ReachabilityWatcher> reachability;
    Hooks hooks;
    // The open offline-mode question's completion; at most one.
    std::function<void(bool)> pendingOfflineCompletion;
    // Callers waiting for the token renewal under way: each gets the new token or none.
    std::vector<std::function<void(std::optional<std::string>)>> refreshWaiters;
    bool refreshRunning = false;
    // Expires with the manager, so queued callbacks and presenter answers can tell.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    Impl(InterfaceManager& manager, std::string url, HttpSessionOptions options)
        : owner(manager), sessionOptions(std::move(options)) {
        replaceSession(std::move(url));
    }

    void replaceSession(std::string url) {
        baseURL = withTrailingSlash(std::move(url));
        if (session) {
            retiredSessions.push_back(std::move(session));
            pruneRetired();
        }
        session = std::make_shared<HttpSession>(baseURL, sessionOptions);
    }

    // Drops retired sessions with nothing under way. Called from the main queue, never from
    // inside one of the session's own completions.
    void pruneRetired() {
        std::erase_if(retiredSessions, [this](const std::shared_ptr<HttpSession>& retired) {
            auto it = inFlight.find(retired.get());
            if (it != inFlight.end() && it->second > 0) {
                return false;
            }
            inFlight.erase(retired.get());
            return true;
        });
    }

    void postToMain(std::function<void()> work) {
        MainQueue::shared().post([weak = std::weak_ptr<bool>(alive), work = std::move(work)]() {
            if (weak.lock()) {
                work();
            }
        });
    }

    // Every transfer goes through here: the traffic log sees it start and end.
    std::shared_ptr<HttpTask> transfer(HttpRequest request, HttpSession::Completion completion) {
        auto sessionUsed = session;
        HttpTrafficRequest record{httpMethodName(request.method), sessionUsed->resolve(request.url),
                                  sessionUsed->headersToSend(request), request.body};
        auto taskId = std::make_shared<std::uint64_t>(0);
        ++inFlight[sessionUsed.get()];
        auto task = sessionUsed->send(
            std::move(request), [this, record, taskId, raw = sessionUsed.get(),
                                 completion = std::move(completion)](HttpResult result) {
                HttpTrafficResponse answer{result.response.status, result.response.headers,
                                           result.response.body};
                AFNetworkLumberjackLogger::sharedLogger()->taskDidComplete(*taskId, record, answer,
                                                                           result.error);
                if (--inFlight[raw] <= 0 && raw != session.get()) {
                    postToMain([this] { pruneRetired(); });
                }
                completion(std::move(result));
            });
        *taskId = task->identifier();
        AFNetworkLumberjackLogger::sharedLogger()->taskDidStart(*taskId, record);
        return task;
    }

    void framedSend(const std::string& path, SharedJsonCompletion completion, ErrorCallback error,
                    RequestOptions options) {
        if (owner.isInOfflineMode()) {
            postToMain([error = std::move(error)] { error(unreachableError()); });
            return;
        }
        std::string methodName = options.method;
        if (methodName.empty()) {
            methodName = options.postData ? "POST" : "GET";
        }
        auto method = methodNamed(methodName);
        if (!method) {
            Error invalid =
                Error::make(kAppErrorDomain, -1, "Unknown request method " + methodName);
            PW_LOG_ERROR_VALUE(invalid);
            postToMain([error = std::move(error), invalid] { error(invalid); });
            return;
        }
        HttpRequest request = HttpRequest::json(*method, path);
        request.maxBodyBytes = options.maxAnswerBytes;
        request.packedJsonLists = options.packedLists;
        if (options.postData) {
            request.setJsonBody(options.postData->dump());
        }
        const std::string url = session->resolve(path);
        PW_LOG_INFO(kLogURL, LogRedactor::redactUrl(url));
        transfer(std::move(request),
                 [this, path, url, options = std::move(options), completion = std::move(completion),
                  error = std::move(error)](HttpResult result) mutable {
                     if (!result.ok() && !isEmptyAnswer(result)) {
                         logFailure(url, *result.error);
                         error(*result.error);
                         return;
                     }
                     const auto& answer = result.response.json;
                     if (!answer || answer->is_null()) {
                         // The server answers a refused token with an empty body.
                         if (options.tokenRefreshWasPerformed) {
                             Error refused = tokenRefreshError();
                             logFailure(url, refused);
                             error(refused);
                             return;
                         }
                         refreshTokenAndPerform(path, std::move(completion), std::move(error),
                                                std::move(options));
                         return;
                     }
                     if (!answer->is_object() && !answer->is_array()) {
                         Error shape = badShapeError();
                         logFailure(url, shape);
                         error(shape);
                         return;
                     }
                     completion(answer);
                 });
    }

    // One renewal serves every request that met the refused token meanwhile.
    void refreshTokenAndPerform(const std::string& path, SharedJsonCompletion completion,
                                ErrorCallback error, RequestOptions options) {
        PW_LOG_INFO(kLogInvalidToken);
        refreshWaiters.push_back(
            [this, path, completion = std::move(completion), error = std::move(error),
             options = std::move(options)](std::optional<std::string> token) mutable {
                if (!token) {
                    error(sessionExpiredError());
                    return;
                }
                options.tokenRefreshWasPerformed = true;
                framedSend(replaceTokenParameter(path, percentEscape(*token)),
                           std::move(completion), std::move(error), std::move(options));
            });
        if (refreshRunning) {
            return;
        }
        refreshRunning = true;
        auto& keychain = KeychainBridge::shared();
        const std::string username = keychain.username();
        const std::string password = keychain.password();
        if (username.empty() || password.empty()) {
            PW_LOG_WARNING("No stored credentials to renew the token with");
            postToMain([this] { finishRefresh(std::nullopt); });
            return;
        }
        owner.getTokenWithUsername(
            username, password,
            [this, username, password](std::optional<std::string> token,
                                       std::optional<std::string>) {
                if (token && !token->empty()) {
                    KeychainBridge::shared().saveUsername(username, password, *token);
                    finishRefresh(std::move(token));
                } else {
                    finishRefresh(std::nullopt);
                }
            },
            [this](const Error&) { finishRefresh(std::nullopt); });
    }

    void finishRefresh(std::optional<std::string> token) {
        refreshRunning = false;
        auto waiters = std::move(refreshWaiters);
        refreshWaiters.clear();
        if (!token) {
            PW_LOG_ERROR_VALUE(sessionExpiredError());
            NotificationCenter::shared().post(kSessionExpiredNotification);
            if (hooks.sessionExpired) {
                hooks.sessionExpired();
            } else {
                PW_LOG_DEBUG("No session-expired hook set");
            }
        }
        for (auto& waiter : waiters) {
            waiter(token);
        }
    }

    // ---- login

    void currentLogin(const std::string& username, const std::string& password,
                      TokenCompletion completion, ErrorCallback error) {
        HttpRequest request = HttpRequest::json(HttpMethod::Get, kLoginProbePath);
        request.setHeader(kUidHeader, AccountManager::UID());
        request.setHeader(kAppSecretHeader, AppSettings::loginSecret().value_or(""));
        request.basicCredentials = HttpBasicCredentials{username, password};
        request.additionalAcceptedStatuses = {401, 403};
        request.maxBodyBytes = AnswerLimits::kSignIn;
        PW_LOG_INFO(kLogURL, LogRedactor::redactUrl(session->resolve(request.url)));
        transfer(std::move(request), [username, password, completion = std::move(completion),
                                      error = std::move(error)](HttpResult result) {
            const auto answer = loginAnswer(result, error);
            if (!answer) {
                return;
            }
            auto token = tokenFromLoginResponse(*answer);
            auto secret = secretFromLoginResponse(*answer);
            if (auto userId = userIdFromLoginResponse(*answer); userId && token) {
                adoptUser(*userId, username, password, *token);
            }
            completion(std::move(token), std::move(secret));
        });
    }

    // Keychain, user record and current user after a current-method login that named the user.
    static void adoptUser(std::int64_t userId, const std::string& username,
                          const std::string& password, const std::string& token) {
        KeychainBridge::shared().saveUsername(username, password, token);
        auto store = PersistentStore::shared();
        if (!store) {
            PW_LOG_WARNING("No store open: the signed-in user is not recorded");
            return;
        }
        StoreContext& context = store->mainContext();
        auto user = User::userWithID(context, userId, username);
        if (!user.ok()) {
            PW_LOG_ERROR_VALUE(user.error());
            return;
        }
        AccountManager::setCurrentUser(user.value());
        if (Status saved = context.save(); !saved.ok()) {
            PW_LOG_ERROR_VALUE(saved.error());
        }
    }

    void fallbackLogin(const std::string& username, const std::string& password,
                       TokenCompletion completion, ErrorCallback error) {
        const std::string path =
            fmt::format(kFallbackLoginPathFormat, percentEscape(username), percentEscape(password),
                        percentEscape(AccountManager::UID()),
                        percentEscape(AppSettings::loginSecret().value_or("")));
        PW_LOG_INFO(kLogURL, LogRedactor::redactUrl(session->resolve(path)));
        HttpRequest request = HttpRequest::json(HttpMethod::Get, path);
        request.maxBodyBytes = AnswerLimits::kSignIn;
        transfer(std::move(request),
                 [completion = std::move(completion), error = std::move(error)](HttpResult result) {
                     if (const auto answer = loginAnswer(result, error)) {
                         completion(tokenFromLoginResponse(*answer), std::nullopt);
                     }
                 });
    }

    // ---- reachability

    void startReachability() {
        reachability.reset();
        auto origin = HttpSession::originOf(baseURL);
        PW_LOG_INFO(kLogSetupReachability, origin ? origin->host : std::string());
        reachability = ReachabilityWatcher::forURL(baseURL);
        if (!reachability) {
            return;
        }
        reachability->setStatusHandler([this](NetworkStatus status) {
            if (status == NetworkStatus::ReachableViaWiFi ||
                status == NetworkStatus::ReachableViaWWAN) {
                PW_LOG_INFO(kLogReachabilityChange);
                sendUnsyncedReadConfirmations();
            }
        });
        reachability->startNotifier();
    }

    void sendUnsyncedReadConfirmations() {
        if (hooks.sendUnsyncedReadConfirmations) {
            hooks.sendUnsyncedReadConfirmations();
        } else {
            PW_LOG_DEBUG("No read-confirmation hook set");
        }
    }
};

InterfaceManager::InterfaceManager(std::string baseURL)
    : InterfaceManager(std::move(baseURL), defaultSessionOptions()) {}

HttpSessionOptions InterfaceManager::defaultSessionOptions() {
    HttpSessionOptions options;
    options.caBundlePath = AppSettings::caBundlePath().value_or("");
    return options;
}

const HttpSessionOptions& InterfaceManager::sessionOptions() const {
    return impl_->sessionOptions;
}

InterfaceManager::InterfaceManager(std::string baseURL, HttpSessionOptions sessionOptions)
    : impl_(std::make_unique<Impl>(*this, std::move(baseURL), std::move(sessionOptions))) {}

InterfaceManager::~InterfaceManager() {
    // Stop the watch and the sessions before the state their callbacks use goes away.
    impl_->reachability.reset();
    impl_->session.reset();
    impl_->retiredSessions.clear();
}

InterfaceManager& InterfaceManager::sharedInstance() {
    return *sharedPointer();
}

std::shared_ptr<InterfaceManager> InterfaceManager::sharedPointer() {
    std::lock_guard lock(sharedMutex);
    if (!sharedManager) {
        sharedManager = std::make_shared<InterfaceManager>(defaultBaseURL());
    }
    return sharedManager;
}

void InterfaceManager::setShared(std::shared_ptr<InterfaceManager> manager) {
    std::shared_ptr<InterfaceManager> previous;
    {
        std::lock_guard lock(sharedMutex);
        previous = std::exchange(sharedManager, std::move(manager));
    }
    // `previous` is released here, outside the lock.
}

std::string InterfaceManager::defaultBaseURL() {
    auto cms = AppSettings::cmsUrl();
    if (!cms || cms->empty()) {
        return {};
    }
    std::string server = *cms;
    while (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    return fmt::format(kBaseURLFormat, server);
}

void InterfaceManager::setBaseURL(std::string baseURL) {
    const bool watching = impl_->reachability != nullptr;
    impl_->replaceSession(std::move(baseURL));
    if (watching) {
        impl_->startReachability();
    }
}

const std::string& InterfaceManager::baseURL() const {
    return impl_->baseURL;
}

std::string InterfaceManager::absoluteURL(std::string_view path) const {
    return impl_->session->resolve(path);
}

void InterfaceManager::setHooks(Hooks hooks) {
    impl_->hooks = std::move(hooks);
}

const InterfaceManager::Hooks& InterfaceManager::hooks() const {
    return impl_->hooks;
}

std::string InterfaceManager::pathForRestMethod(std::string_view method,
                                                std::string_view controller,
                                                const std::vector<std::string>& params) const {
    std::string path = percentEscape(controller);
    path += '/';
    path += percentEscape(method);
    for (const auto& param : params) {
        path += '/';
        path += percentEscape(param);
    }
    path += "?token=";
    path += percentEscape(KeychainBridge::shared().token());
    return path;
}

std::string InterfaceManager::percentEscape(std::string_view text) {
    return HttpSession::escapePathComponent(text);
}

void InterfaceManager::sendRequest(const std::string& path, JsonCompletion completion,
                                   ErrorCallback error) {
    sendRequest(path, std::move(completion), std::move(error), RequestOptions{});
}

void InterfaceManager::sendRequest(const std::string& path, JsonCompletion completion,
                                   ErrorCallback error, RequestOptions options) {
    impl_->framedSend(
        path,
        [completion = std::move(completion)](const std::shared_ptr<const Json>& answer) {
            completion(*answer);
        },
        std::move(error), std::move(options));
}

void InterfaceManager::sendRequestSharingAnswer(const std::string& path,
                                                SharedJsonCompletion completion,
                                                ErrorCallback error, RequestOptions options) {
    impl_->framedSend(path, std::move(completion), std::move(error), std::move(options));
}

void InterfaceManager::send(RawRequest raw, RawCompletion completion, RawErrorCallback error) {
    auto method = methodNamed(raw.method);
    if (!method) {
        Error invalid = Error::make(kAppErrorDomain, -1, "Unknown request method " + raw.method);
        PW_LOG_ERROR_VALUE(invalid);
        impl_->postToMain([error = std::move(error), invalid] { error(invalid, RawResponse{}); });
        return;
    }
    HttpRequest request;
    request.method = *method;
    request.url = std::move(raw.path);
    request.headers = std::move(raw.headers);
    if (raw.jsonBody) {
        request.setJsonBody(raw.jsonBody->dump());
    }
    if (raw.basicAuth) {
        request.basicCredentials =
            HttpBasicCredentials{raw.basicAuth->first, raw.basicAuth->second};
    }
    request.acceptedContentTypes = std::move(raw.acceptedContentTypes);
    request.additionalAcceptedStatuses = std::move(raw.extraAcceptedStatuses);
    request.decodeJson = raw.decodeJson;
    request.maxBodyBytes = raw.maxAnswerBytes;
    send(std::move(request),
         [completion = std::move(completion), error = std::move(error)](HttpResult result) {
             RawResponse response{result.response.status, result.response.headers,
                                  std::move(result.response.body), std::nullopt};
             if (result.response.json) {
                 response.json = *result.response.json;
             }
             if (!result.ok()) {
                 error(*result.error, response);
                 return;
             }
             completion(response);
         });
}

std::shared_ptr<HttpTask> InterfaceManager::send(HttpRequest request,
                                                 HttpSession::Completion completion) {
    const std::string url = impl_->session->resolve(request.url);
    PW_LOG_INFO(kLogURL, LogRedactor::redactUrl(url));
    return impl_->transfer(std::move(request),
                           [url, completion = std::move(completion)](HttpResult result) {
                               if (!result.ok()) {
                                   logFailure(url, *result.error);
                               }
                               completion(std::move(result));
                           });
}

HttpSession& InterfaceManager::session() {
    return *impl_->session;
}

void InterfaceManager::getTokenWithUsername(const std::string& username,
                                            const std::string& password, TokenCompletion completion,
                                            ErrorCallback error) {
    HttpRequest probe;
    probe.method = HttpMethod::Head;
    probe.url = kLoginProbePath;
    PW_LOG_INFO(kLogURL, LogRedactor::redactUrl(impl_->session->resolve(probe.url)));
    impl_->transfer(std::move(probe), [this, username, password, completion = std::move(completion),
                                       error = std::move(error)](HttpResult result) mutable {
        const auto status = result.ok() ? 0 : result.error->code;
        const bool httpAnswer = result.ok() || result.error->domain == HttpErrors::kHttpDomain;
        if (result.ok() || (httpAnswer && (status == 401 || status == 403))) {
            impl_->currentLogin(username, password, std::move(completion), std::move(error));
        } else if (httpAnswer && (status == 404 || status == 405)) {
            PW_LOG_INFO("The header sign-in is not offered ({}); using the path sign-in",
                        result.error->toString());
            impl_->fallbackLogin(username, password, std::move(completion), std::move(error));
        } else {
            logTokenFailure(*result.error);
            error(*result.error);
        }
    });
}

std::optional<std::string> InterfaceManager::tokenFromLoginResponse(const Json& answer) {
    if (!isReadableLoginResponse(answer)) {
        PW_LOG_ERROR(kLogNoTokenInJson);
        return std::nullopt;
    }
    if (!answer["success"].get<bool>()) {
        return std::nullopt;
    }
    auto it = answer.find("token");
    if (it == answer.end() || !it->is_string() || it->get_ref<const std::string&>().empty()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<std::string> InterfaceManager::secretFromLoginResponse(const Json& answer) {
    if (!isReadableLoginResponse(answer)) {
        PW_LOG_ERROR(kLogNoTokenInJson);
        return std::nullopt;
    }
    if (!answer["success"].get<bool>()) {
        return std::nullopt;
    }
    auto it = answer.find("secret");
    if (it == answer.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

bool InterfaceManager::isReachable() const {
    return !isInOfflineMode();
}

bool InterfaceManager::isReachableViaWLAN() const {
    return !isInOfflineMode();
}

bool InterfaceManager::isInOfflineMode() const {
    auto value = SettingsManager::sharedInstance().getSettingInGroup(settings::kOfflineGroup,
                                                                     settings::kOfflineMode);
    return value && value->boolValue(false);
}

void InterfaceManager::activeOfflineMode(bool active) {
    Status written = SettingsManager::sharedInstance().writeSettingInGroup(
        settings::kOfflineGroup, settings::kOfflineMode, PlistValue(active));
    if (!written.ok()) {
        return;  // logged by the settings store
    }
    if (!active) {
        impl_->sendUnsyncedReadConfirmations();
    }
}

void InterfaceManager::showOfflineModeAlert(std::function<void(bool declined)> completion) {
    if (impl_->pendingOfflineCompletion) {
        // One question at a time: a second asker is told "no change" at once.
        impl_->postToMain([completion = std::move(completion)] { completion(true); });
        return;
    }
    impl_->pendingOfflineCompletion = std::move(completion);
    impl_->postToMain([this] {
        const bool offline = isInOfflineMode();
        Alert alert;
        alert.title = offline ? kOfflineOnTitle : kOfflineOffTitle;
        alert.message = offline ? kOfflineOnMessage : kOfflineOffMessage;
        alert.cancelButtonTitle = kNoButton;
        alert.otherButtonTitles = {kYesButton};
        const int yes = alert.firstOtherButtonIndex();
        Presenter::shared().showAlert(
            alert, [this, weak = std::weak_ptr<bool>(impl_->alive), offline, yes](int button) {
                if (!weak.lock()) {
                    return;
                }
                auto done = std::move(impl_->pendingOfflineCompletion);
                impl_->pendingOfflineCompletion = nullptr;
                const bool accepted = button == yes;
                if (accepted) {
                    activeOfflineMode(!offline);
                }
                if (done) {
                    done(!accepted);
                }
            });
    });
}

void InterfaceManager::setupReachabilityNotifications() {
    impl_->startReachability();
}

ReachabilityWatcher* InterfaceManager::reachabilityWatcher() {
    return impl_->reachability.get();
}

void InterfaceManager::showLocaleSelection(std::function<void()> done, ErrorCallback error) {
    PW_LOG_INFO(kLogNoLocale);
    if (impl_->hooks.showLocaleSelection) {
        impl_->hooks.showLocaleSelection(std::move(done), std::move(error));
        return;
    }
    PW_LOG_DEBUG("No language-selection hook set");
    impl_->postToMain(std::move(done));
}

Error InterfaceManager::tokenRefreshError() {
    return Error::make(kVXErrorDomain, kTokenRefreshErrorCode, kTokenRefreshErrorDescription);
}

Error InterfaceManager::sessionExpiredError() {
    return Error::make(kVXErrorDomain, kSessionExpiredErrorCode, kSessionExpiredErrorDescription);
}

Error InterfaceManager::unreachableError() {
    return Error::make(kUnreachableErrorDomain, kUnreachableErrorCode,
                       kUnreachableErrorDescription);
}

}  // namespace pagewell
