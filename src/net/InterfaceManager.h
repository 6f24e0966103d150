#pragma once
// The single gateway to the content server: frames every request (base address, path, token,
// method, JSON body), decodes JSON answers, renews an expired token once, fetches login tokens,
// and keeps the offline mode and the watch on the server's reachability.
//
// A framed request (sendRequest) runs like this:
//
//   sendRequest(path) ──► offline? ──yes──► error "Unreachable" 100 (nothing is sent)
//        │ no
//        ▼
//   GET/POST path?token=T ──► JSON object ──────────────► completion(json)
//        │                └─► transport/HTTP/type error ─► error(err)            (never retried)
//        ▼ empty answer (the server refused the token)
//   retry already done? ──yes──► error "VX" 503 "It was not possible to refresh the token."
//        │ no
//        ▼
//   getTokenWithUsername(keychain user, keychain password)
//        │ token                          │ no token / login failed
//        ▼                                ▼
//   keychain ← token; same method, body   error "VX" 401 "Session expired. Please sign in
//   and path with the new token           again." and the sessionExpired hook (login screen)
//
// Exactly one of the two callbacks of every operation is called, once, on the main queue.
//
// Threading: every member belongs to the main thread (requests are started there, callbacks
// arrive there). Only the process-wide accessors may be called from any thread; a mutex in the
// .cpp guards the shared instance pointer.

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diag/HttpTraffic.h"
#include "platform/Error.h"
#include "platform/HttpSession.h"

namespace pagewell {

class ReachabilityWatcher;

class InterfaceManager {
  public:
    using Json = nlohmann::json;
    // A framed request's decoded answer (never empty: an empty answer means an expired token).
    using JsonCompletion = std::function<void(const Json& answer)>;
    // The same answer shared instead of lent, for answers handed on to work that outlives the
    // callback (a catalogue list imported in the background), so it is never copied.
    using SharedJsonCompletion = std::function<void(const std::shared_ptr<const Json>& answer)>;
    using ErrorCallback = std::function<void(const Error& error)>;
    // (token, secret); either may be none. A refused login (answer "success" false) arrives
    // here with no token and is not an error.
    using TokenCompletion =
        std::function<void(std::optional<std::string> token, std::optional<std::string> secret)>;

    // Options of a framed request.
    struct RequestOptions {
        // Present: sent as JSON body, method "POST" unless `method` says otherwise.
        std::optional<Json> postData{};
        // Empty: "GET" without post data, "POST" with it. The retry after a token renewal
        // repeats this method and body.
        std::string method{};
        // Set on the one retry after a token renewal; callers leave it false.
        bool tokenRefreshWasPerformed = false;
        // The largest answer this kind of request may receive (AnswerLimits).
        std::size_t maxAnswerBytes = HttpRequest::kDefaultMaxBodyBytes;
        // Lists of the answer kept packed until their reader unpacks them (JsonDecoder).
        std::vector<std::string> packedLists{};
    };

    // An unframed request for operations with their own headers, accepted content types and
    // statuses (logins, version checks, uploads of plain JSON, theme, ...): no token is added,
    // no token renewal happens, offline mode is not consulted (the caller decides).
    struct RawRequest {
        std::string method = "GET";
        // Relative to the base address, or absolute. Query parameters are written by the
        // caller (escape values with percentEscape).
        std::string path{};
        std::optional<Json> jsonBody{};
        HttpHeaders headers{};
        // HTTP Basic credentials (user, password); sent only for this request, only to the
        // configured server.
        std::optional<std::pair<std::string, std::string>> basicAuth{};
        // Empty accepts any content type.
        std::vector<std::string> acceptedContentTypes = {"application/json"};
        // Statuses counted as success besides 200 to 299.
        std::vector<long> extraAcceptedStatuses{};
        // Decode the body as JSON (answer.json); a body that does not decode is an error unless
        // it is empty.
        bool decodeJson = true;
        // The largest answer kept (AnswerLimits).
        std::size_t maxAnswerBytes = HttpRequest::kDefaultMaxBodyBytes;
    };

    struct RawResponse {
        long status = 0;  // 0 when no answer arrived
        HttpHeaders headers{};
        std::string body{};
        std::optional<Json> json{};  // the decoded body, when asked for and not empty
    };
    using RawCompletion = std::function<void(const RawResponse& response)>;
    // The response carries what arrived (status and body of a refused request), if anything.
    using RawErrorCallback = std::function<void(const Error& error, const RawResponse& response)>;

    // What lives in modules above this one, handed in by the application at start. Each hook
    // is called on the main queue; an unset hook is skipped (logged at debug level).
    struct Hooks {
        // A token renewal failed: the login screen becomes the window's root. The
        // kSessionExpiredNotification is posted as well, whether or not this is set.
        std::function<void()> sessionExpired{};
        // Sends the read confirmations collected while offline (the sync manager's
        // sendReadConfirmationForUnsyncedFiles). Called when offline mode is switched off and
        // when the server's host becomes reachable.
        std::function<void()> sendUnsyncedReadConfirmations{};
        // The content-language selection of an operation that found no current language: fetch
        // the languages, take the only one or let the user choose, then `done`; a fetch failure
        // goes to `error`.
        std::function<void(std::function<void()> done, ErrorCallback error)> showLocaleSelection{};
    };

    // A manager for `baseURL` (the server address followed by "/api2"). The reachability watch
    // starts only with setupReachabilityNotifications(), which the long-running mode calls: a
    // one-shot command has no use for a probe thread.
    // The session runs with defaultSessionOptions().
    explicit InterfaceManager(std::string baseURL);
    // The same with the session's timeouts and certificate settings.
    InterfaceManager(std::string baseURL, HttpSessionOptions sessionOptions);

    // The options of the application's sessions: the platform's limits and the certificate
    // authorities the configuration adds (AppSettings::caBundlePath()).
    static HttpSessionOptions defaultSessionOptions();
    // The options this manager's sessions run with; downloads take their certificate settings
    // from here so every transfer trusts the same authorities.
    const HttpSessionOptions& sessionOptions() const;
    ~InterfaceManager();
    InterfaceManager(const InterfaceManager&) = delete;
    InterfaceManager& operator=(const InterfaceManager&) = delete;

    // The process-wide manager, made on first use for defaultBaseURL(); replaceable in tests
    // (nullptr makes the next call create the default again).
    static InterfaceManager& sharedInstance();
    static std::shared_ptr<InterfaceManager> sharedPointer();
    static void setShared(std::shared_ptr<InterfaceManager> manager);
    // "%@/api2" filled with the configured "CMSURL" (trailing "/" of the setting dropped);
    // empty when none is configured.
    static std::string defaultBaseURL();

    // Replaces the session with one for `baseURL` and restarts the reachability watch when it
    // runs. Requests under way on the old session still complete.
    void setBaseURL(std::string baseURL);
    // The base address, always ending with "/".
    const std::string& baseURL() const;
    // `path` resolved against the base address; an absolute address is returned unchanged.
    std::string absoluteURL(std::string_view path) const;

    void setHooks(Hooks hooks);
    const Hooks& hooks() const;

    // ---- framing

    // controller/method/param... with every part percent-escaped as UTF-8 (so no part can add
    // a segment or a query parameter), then "?token=" and the escaped current keychain token.
    // Further query parameters are appended by the caller as "&name=value".
    std::string pathForRestMethod(std::string_view method, std::string_view controller,
                                  const std::vector<std::string>& params = {}) const;
    // Every byte except the unreserved ones (letters, digits, "-", ".", "_", "~") as %XX.
    static std::string percentEscape(std::string_view text);

    // A framed request (see the flow above). Offline mode: nothing is sent and `error`
    // receives unreachableError().
    void sendRequest(const std::string& path, JsonCompletion completion, ErrorCallback error);
    void sendRequest(const std::string& path, JsonCompletion completion, ErrorCallback error,
                     RequestOptions options);
    // The same, handing over the decoded answer itself rather than a reference to it.
    void sendRequestSharingAnswer(const std::string& path, SharedJsonCompletion completion,
                                  ErrorCallback error, RequestOptions options);

    // An unframed request on the shared session. Logs "URL: %@" (redacted), feeds the traffic
    // log; failures log "Error while requesting: %@" and "Error[%d]: %@" once.
    void send(RawRequest request, RawCompletion completion, RawErrorCallback error);
    // The same for a request of the session's own type (multipart uploads, downloads to a
    // file); the completion receives the outcome, success or failure, once on the main queue.
    std::shared_ptr<HttpTask> send(HttpRequest request, HttpSession::Completion completion);

    // The shared HTTP session. Requests sent on it directly bypass the URL and traffic logs:
    // prefer send().
    HttpSession& session();

    // ---- session and token

    // Probes "HEAD auth/loginv2": the current login (headers "X-Uid", "X-App-Secret", Basic
    // authorisation; 401 and 403 accepted) when it answers, also with 401 or 403 (the probe
    // carries no credentials). Only a 404 or 405 means the server does not offer it and selects
    // the fallback "auth/login/USER/PASSWORD/UID/SECRET", which carries the password in its
    // path; any other failure (certificate, connection, other status) ends the sign-in with
    // that error, so a broken or impostor server never gets the password that way. A
    // current-method answer with "userId" stores the credentials in the keychain, finds or
    // creates the User and makes it current.
    void getTokenWithUsername(const std::string& username, const std::string& password,
                              TokenCompletion completion, ErrorCallback error);

    // The login answer rules: the token / secret when the answer is an object with "success"
    // true; an answer that is not an object or lacks "success" logs
    // "Could not retrieve token from json!".
    static std::optional<std::string> tokenFromLoginResponse(const Json& answer);
    static std::optional<std::string> secretFromLoginResponse(const Json& answer);

    // ---- connectivity

    // Both answer yes exactly when offline mode is off; they do not look at the network.
    bool isReachable() const;
    bool isReachableViaWLAN() const;
    // The setting "OFFLINE_SETTINGS" / "OFFLINEMODE".
    bool isInOfflineMode() const;
    // Stores the setting; switching offline mode off sends the collected read confirmations.
    void activeOfflineMode(bool active);
    // Asks whether to leave (offline mode on) or enter (off) offline mode. "Yes" toggles the
    // mode and reports false; "No" changes nothing and reports true (declined). At most one
    // question is pending: a second call while one is open is answered true at once.
    void showOfflineModeAlert(std::function<void(bool declined)> completion);
    // (Re)starts the watch on the server's host: when it becomes reachable, the read
    // confirmations collected while offline are sent.
    void setupReachabilityNotifications();
    // The running watch, or nullptr.
    ReachabilityWatcher* reachabilityWatcher();

    // For an operation that found no current content language: logs "No Locale set" and runs
    // the showLocaleSelection hook. Without a hook: `done` at once.
    void showLocaleSelection(std::function<void()> done, ErrorCallback error);

    // ---- error values

    static Error tokenRefreshError();    // "VX" 503
    static Error sessionExpiredError();  // "VX" 401
    static Error unreachableError();     // "Unreachable" 100

    static constexpr const char* kVXErrorDomain = "VX";
    static constexpr int kTokenRefreshErrorCode = 503;
    static constexpr const char* kTokenRefreshErrorDescription =
        "It was not possible to refresh the token.";
    static constexpr int kSessionExpiredErrorCode = 401;
    static constexpr const char* kSessionExpiredErrorDescription =
        "Session expired. Please sign in again.";
    static constexpr const char* kUnreachableErrorDomain = "Unreachable";
    static constexpr int kUnreachableErrorCode = 100;
    static constexpr const char* kUnreachableErrorDescription = "Server is unreachable";
    // Answers this layer cannot use: not JSON, HTML error pages, JSON that is not an object
    // or list.
    static constexpr const char* kResponseErrorDomain = "VXResponse";
    static constexpr int kBadResponseErrorCode = -1011;

    // Domains of the endpoint operations.
    static constexpr const char* kAppErrorDomain = "VXErrorDomain";
    static constexpr const char* kImportCategoriesFailed = "Error while importing categories.";
    static constexpr const char* kImportFilesFailed = "Error while importing files.";
    static constexpr const char* kTrackingErrorDomain = "VXTracking";
    static constexpr const char* kLocationErrorDomain = "Location";
    static constexpr const char* kFavFolderErrorDomain = "FavFolder";
    static constexpr const char* kFavoriteRelationErrorDomain = "FavoriteRelation";
    static constexpr const char* kFavoriteSyncErrorDomain = "FavoriteSync";
    static constexpr const char* kReadConfirmationErrorDomain = "ReadConfirmation";
    static constexpr const char* kLinkReadConfirmationErrorDomain = "LinkReadConfirmation";

    // ---- texts

    static constexpr const char* kSessionExpiredNotification = "VXSessionExpiredNotification";
    static constexpr const char* kBaseURLFormat = "{}/api2";
    static constexpr const char* kLoginProbePath = "auth/loginv2";
    static constexpr const char* kFallbackLoginPathFormat = "auth/login/{}/{}/{}/{}";
    static constexpr const char* kUidHeader = "X-Uid";
    static constexpr const char* kAppSecretHeader = "X-App-Secret";
    static constexpr const char* kJsonContentType = "application/json";

    static constexpr const char* kLogURL = "URL: {}";
    static constexpr const char* kLogRequestFailed = "Error while requesting: {}";
    static constexpr const char* kLogInvalidToken = "Invalid token. Try to refresh the token.";
    static constexpr const char* kLogNoToken = "Could not get Token";
    static constexpr const char* kLogNoTokenInJson = "Could not retrieve token from json!";
    static constexpr const char* kLogSetupReachability = "SETUP REACHABILITY FOR HOST: {}";
    static constexpr const char* kLogReachabilityChange = "started from reachability change";
    static constexpr const char* kLogNoLocale = "No Locale set";

    // The offline-mode question: localisation key and default text of each part.
    static constexpr const char* kOfflineOnTitle = "Offlinemode";
    static constexpr const char* kOfflineOnMessageKey = "ALERT_ACTIVE_OFFLINEMODE";
    static constexpr const char* kOfflineOnMessage =
        "The App is in currently in offline mode. The offline mode can be disabled in settings. "
        "Do you want to disable it now?";
    static constexpr const char* kOfflineOffTitle = "No connection";
    static constexpr const char* kOfflineOffMessageKey = "ALERT_NO_CONNECTION";
    static constexpr const char* kOfflineOffMessage =
        "Connection to the server could not be established. Please check your internet "
        "connectivity. Do you want to enable offline mode?";
    static constexpr const char* kNoButtonKey = "NO";
    static constexpr const char* kNoButton = "No";
    static constexpr const char* kYesButtonKey = "YES";
    static constexpr const char* kYesButton = "Yes";

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell
