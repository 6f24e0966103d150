#pragma once
// The login session: online and offline login, the session-validity rule, the session check
// at start and on return to the foreground, and logout.
//
// Where things are kept: user name, password and token in the keychain (KeychainBridge);
// "LAST_LOGIN" (time of the last successful online login) in the user defaults; the current
// user through AccountManager; each user's offline password hash in the store (PasswordHash).
//
// Online login:
//
//   name/password empty? ──► fail "VXErrorDomain" -100 "Cannot login without ..."
//        ▼
//   InterfaceManager::getTokenWithUsername
//        │ token                    │ no token              │ certificate    │ other request
//        ▼                          ▼                       ▼ failure        ▼ error
//   LAST_LOGIN = now; keychain ← fail "Pagewell" 0      fail with that   offline login with
//   name, password, token; User    "Please check your    error           the same name,
//   found or made, hash, secret;   username and                          password and
//   current user; success          password."                            callbacks
//
// Offline login: a User with this name whose stored hash matches the password is made current
// (offline mode on), or, with offline mode off, the user is asked whether to switch offline
// mode on and is signed in after either answer. After a failed online attempt, a name with no
// stored password on this device fails with the online attempt's error (the server could not
// be reached, or what it answered): there was nothing to check the password against. A
// certificate that is not trusted is never bridged by an offline sign-in: it may be an
// impostor, and the user has to learn that the server's certificate is the problem.
//
// Exactly one of the two callbacks of every flow is called, once, on the main queue.
//
// Threading: every member belongs to the main thread; the store work runs on the store's main
// context. Only the process-wide accessors may be called from any thread (a mutex in the .cpp
// guards the shared pointer).

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class LoginManager {
  public:
    using SuccessBlock = std::function<void()>;
    using FailBlock = std::function<void(const Error& error)>;
    // (still valid, the error of a failed re-login or none)
    using CheckBlock = std::function<void(bool stillValid, std::optional<Error> error)>;

    // What logout reaches in modules above this one, handed in by the application. An unset
    // hook is skipped.
    struct Hooks {
        // Stops a running synchronisation.
        std::function<void()> stopSynchronisation;
        // Tracks the logout: event type 2, label "logout", screen name "PLX".
        std::function<void(int type, const std::string& label, const std::string& screen)>
            trackEvent;
        // Sends the server logout; its answer is not awaited.
        std::function<void()> sendServerLogout;
    };

    LoginManager() = default;
    LoginManager(const LoginManager&) = delete;
    LoginManager& operator=(const LoginManager&) = delete;

    static LoginManager& shared();
    static std::shared_ptr<LoginManager> sharedPointer();
    static void setShared(std::shared_ptr<LoginManager> manager);  // nullptr: a fresh one

    void setHooks(Hooks hooks);
    const Hooks& hooks() const;

    // A non-empty keychain token, and "LAST_LOGIN" less than "LOGOUT_INTERVAL" minutes ago.
    bool isLoggedIn() const;

    void loginWithUserName(const std::string& username, const std::string& password,
                           SuccessBlock success, FailBlock fail);
    void loginOfflineUserWithName(const std::string& username, const std::string& password,
                                  SuccessBlock success, FailBlock fail);
    // The managed-device login: the input checks and token handling of the online login with
    // the managed login request; a request error is logged and fails (no offline fallback).
    void appConnectLoginWithUsername(const std::string& username, const std::string& password,
                                     SuccessBlock success, FailBlock fail);

    // When the last-login time rule holds, logs in again online with the keychain's name and
    // password: success answers (true, none); failure answers (true only for a network error,
    // the error). Otherwise answers (false, none) without any request.
    void checkLoginWithBlock(CheckBlock block);

    // Stops the synchronisation, tracks the event, sends the server logout and removes
    // "LAST_LOGIN". Keychain item and current user stay.
    void logout();

    // The time rule of isLoggedIn without the token.
    bool _checkLastLoginDate() const;
    void _saveLastLoginDate();
    // Keychain ← name, password, token (none keeps the stored token); the User with this name
    // found or made, its password hash and (when given) secret set, saved, made current.
    Status _saveUsername(const std::string& username, const std::string& password,
                         const std::optional<std::string>& token,
                         const std::optional<std::string>& secret);

    // "LAST_LOGIN", when set.
    std::optional<SystemTime> lastLoginDate() const;
    // "LAST_LOGIN" plus the logout interval, when "LAST_LOGIN" is set.
    std::optional<SystemTime> sessionValidUntil() const;
    // "LOGOUT_SETTINGS" / "LOGOUT_INTERVAL" in whole minutes (absent reads as 0).
    static std::int64_t logoutIntervalMinutes();

    static constexpr const char* kLastLoginKey = "LAST_LOGIN";

    static constexpr int kMissingInputCode = -100;
    static constexpr const char* kNoUsername = "Cannot login without username";
    static constexpr const char* kNoPassword = "Cannot login without password";
    static constexpr const char* kLoginErrorDomain = "Pagewell";
    static constexpr int kLoginErrorCode = 0;
    static constexpr const char* kCheckUserKey = "CHECK_USER";
    static constexpr const char* kCheckUserOnline = "Please check your username and password.";
    static constexpr const char* kCheckUserOffline =
        "Please check your username and password, that your account has been activated and has "
        "sufficient rights.";
    static constexpr const char* kNoConnectionKey = "NO_CONNECTION";
    static constexpr const char* kNoConnection =
        "The connection to the server could not be established.";

    // The offline-mode question of the offline login.
    static constexpr const char* kOfflineModeTitleKey = "OFFLINE_MODE_TITLE";
    static constexpr const char* kOfflineModeTitle = "Offline mode";
    static constexpr const char* kOfflineModeLoginKey = "OFFLINE_MODE_LOGIN";
    static constexpr const char* kOfflineModeLogin =
        "Connection to the server could not be established. Do you want to activate offline "
        "mode?";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";

    static constexpr int kLogoutEventType = 2;
    static constexpr const char* kLogoutEventLabel = "logout";
    static constexpr const char* kLogoutScreenName = "PLX";

  private:
    // Steps 1 and 2 of both online logins; false after failing `fail`.
    bool checkInput(const std::string& username, const std::string& password, FailBlock& fail);
    // The answer of a token request: no token fails, a token signs the user in.
    void acceptToken(const std::string& username, const std::string& password,
                     std::optional<std::string> token, std::optional<std::string> secret,
                     SuccessBlock success, FailBlock fail);
    void finishOfflineLogin(const std::string& username, const std::string& password,
                            SuccessBlock success, FailBlock fail);
    // The offline login; `onlineFailure` is why the online login just failed, when it did.
    void offlineLogin(const std::string& username, const std::string& password,
                      SuccessBlock success, FailBlock fail, std::optional<Error> onlineFailure);

    Hooks hooks_;
};

}  // namespace pagewell
