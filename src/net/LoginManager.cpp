#include "net/LoginManager.h"

#include <mutex>

#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "net/PasswordHash.h"
#include "net/SessionRequests.h"
#include "platform/HttpResponse.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "platform/UserDefaults.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LoginManager>& sharedSlot() {
    static std::shared_ptr<LoginManager> manager;  // guarded by sharedMutex()
    return manager;
}

Error loginError(const char* description) {
    return Error::make(LoginManager::kLoginErrorDomain, LoginManager::kLoginErrorCode, description);
}

// Callbacks always arrive on the main queue, also when the answer is known at once, so a caller
// never sees its callback run inside its own call.
void postSuccess(LoginManager::SuccessBlock success) {
    MainQueue::shared().post([success = std::move(success)] {
        if (success) {
            success();
        }
    });
}

void postFailure(LoginManager::FailBlock fail, Error error) {
    MainQueue::shared().post([fail = std::move(fail), error = std::move(error)] {
        if (fail) {
            fail(error);
        }
    });
}

StoreContext* mainContext() {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    return store ? &store->mainContext() : nullptr;
}

Error storeClosedError() {
    return Error::make(PersistentStore::kErrorDomain, -1, "The store is not open.");
}

}  // namespace

LoginManager& LoginManager::shared() {
    return *sharedPointer();
}

std::shared_ptr<LoginManager> LoginManager::sharedPointer() {
    std::lock_guard lock(sharedMutex());
    if (!sharedSlot()) {
        sharedSlot() = std::make_shared<LoginManager>();
    }
    return sharedSlot();
}

void LoginManager::setShared(std::shared_ptr<LoginManager> manager) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(manager);
}

void LoginManager::setHooks(Hooks hooks) {
    hooks_ = std::move(hooks);
}

const LoginManager::Hooks& LoginManager::hooks() const {
    return hooks_;
}

std::int64_t LoginManager::logoutIntervalMinutes() {
    std::optional<PlistValue> value = SettingsManager::sharedInstance().getSettingInGroup(
        settings::kLogoutGroup, settings::kLogoutInterval);
    return value ? value->integerValue(0) : 0;
}

std::optional<SystemTime> LoginManager::lastLoginDate() const {
    std::optional<PlistValue> value = UserDefaults::shared().get(kLastLoginKey);
    return value ? value->date() : std::nullopt;
}

std::optional<SystemTime> LoginManager::sessionValidUntil() const {
    std::optional<SystemTime> last = lastLoginDate();
    if (!last) {
        return std::nullopt;
    }
    return *last + std::chrono::minutes(logoutIntervalMinutes());
}

bool LoginManager::_checkLastLoginDate() const {
    std::optional<SystemTime> validUntil = sessionValidUntil();
    return validUntil && Clock::shared().now() < *validUntil;
}

bool LoginManager::isLoggedIn() const {
    return !KeychainBridge::shared().token().empty() && _checkLastLoginDate();
}

void LoginManager::_saveLastLoginDate() {
    if (Status stored = UserDefaults::shared().set(kLastLoginKey, Clock::shared().now());
        !stored.ok()) {
        PW_LOG_ERROR_VALUE(stored.error());
    }
}

Status LoginManager::_saveUsername(const std::string& username, const std::string& password,
                                   const std::optional<std::string>& token,
                                   const std::optional<std::string>& secret) {
    KeychainBridge::shared().saveUsername(username, password, token);
    StoreContext* context = mainContext();
    if (context == nullptr) {
        return storeClosedError();
    }
    if (Status begun = context->beginWrite(); !begun.ok()) {
        return begun.error();
    }
    User user = AccountManager::findUserNamed(*context, username).value_or(User{});
    user.username = username;
    user.passwordHash = PasswordHash::make(password);
    if (secret) {
        user.secret = *secret;
    }
    if (Status written = user.update(*context); !written.ok()) {
        context->rollback();
        return written.error();
    }
    if (Status saved = context->save(); !saved.ok()) {
        return saved.error();
    }
    AccountManager::setCurrentUser(user);
    return Status();
}

bool LoginManager::checkInput(const std::string& username, const std::string& password,
                              FailBlock& fail) {
    if (username.empty()) {
        PW_LOG_ERROR("{}", kNoUsername);
        postFailure(std::move(fail), Error::make(kAppErrorDomain, kMissingInputCode, kNoUsername));
        return false;
    }
    if (password.empty()) {
        PW_LOG_ERROR("{}", kNoPassword);
        postFailure(std::move(fail), Error::make(kAppErrorDomain, kMissingInputCode, kNoPassword));
        return false;
    }
    return true;
}

void LoginManager::acceptToken(const std::string& username, const std::string& password,
                               std::optional<std::string> token, std::optional<std::string> secret,
                               SuccessBlock success, FailBlock fail) {
    if (!token || token->empty()) {
        postFailure(std::move(fail), loginError(kCheckUserOnline));
        return;
    }
    _saveLastLoginDate();
    if (Status saved = _saveUsername(username, password, token, secret); !saved.ok()) {
        PW_LOG_ERROR_VALUE(saved.error());
        postFailure(std::move(fail), saved.error());
        return;
    }
    postSuccess(std::move(success));
}

void LoginManager::loginWithUserName(const std::string& username, const std::string& password,
                                     SuccessBlock success, FailBlock fail) {
    if (!checkInput(username, password, fail)) {
        return;
    }
    // Both callbacks share the caller's pair; exactly one of them runs.
    auto callbacks =
        std::make_shared<std::pair<SuccessBlock, FailBlock>>(std::move(success), std::move(fail));
    InterfaceManager::sharedInstance().getTokenWithUsername(
        username, password,
        [this, username, password, callbacks](std::optional<std::string> token,
                                              std::optional<std::string> secret) {
            acceptToken(username, password, std::move(token), std::move(secret),
                        std::move(callbacks->first), std::move(callbacks->second));
        },
        [this, username, password, callbacks](const Error& error) {
            if (HttpErrors::isCertificateFailure(error)) {
                postFailure(std::move(callbacks->second), error);
                return;
            }
            offlineLogin(username, password, std::move(callbacks->first),
                         std::move(callbacks->second), error);
        });
}

void LoginManager::appConnectLoginWithUsername(const std::string& username,
                                               const std::string& password, SuccessBlock success,
                                               FailBlock fail) {
    if (!checkInput(username, password, fail)) {
        return;
    }
    auto callbacks =
        std::make_shared<std::pair<SuccessBlock, FailBlock>>(std::move(success), std::move(fail));
    SessionRequests().appConnectLoginWithUsername(
        username, password,
        [this, username, password, callbacks](std::optional<std::string> token,
                                              std::optional<std::string> secret) {
            acceptToken(username, password, std::move(token), std::move(secret),
                        std::move(callbacks->first), std::move(callbacks->second));
        },
        [callbacks](const Error& error) {
            PW_LOG_ERROR_VALUE(error);
            postFailure(std::move(callbacks->second), error);
        });
}

void LoginManager::loginOfflineUserWithName(const std::string& username,
                                            const std::string& password, SuccessBlock success,
                                            FailBlock fail) {
    offlineLogin(username, password, std::move(success), std::move(fail), std::nullopt);
}

void LoginManager::offlineLogin(const std::string& username, const std::string& password,
                                SuccessBlock success, FailBlock fail,
                                std::optional<Error> onlineFailure) {
    bool offline = InterfaceManager::sharedInstance().isInOfflineMode();
    StoreContext* context = mainContext();
    std::optional<User> user =
        context != nullptr ? AccountManager::findUserNamed(*context, username) : std::nullopt;
    PasswordHash::Match match = user && user->passwordHash
                                    ? PasswordHash::verify(password, *user->passwordHash)
                                    : PasswordHash::Match::No;
    if (onlineFailure && !(user && user->passwordHash)) {
        postFailure(std::move(fail), std::move(*onlineFailure));
        return;
    }
    if (match == PasswordHash::Match::No) {
        postFailure(std::move(fail), loginError(offline ? kNoConnection : kCheckUserOffline));
        return;
    }
    if (match == PasswordHash::Match::YesButOutdated) {
        // An older, weaker hash is replaced now that the password is known to be right.
        user->passwordHash = PasswordHash::make(password);
        Status replaced = context->beginWrite();
        if (replaced.ok()) {
            replaced = user->update(*context);
        }
        if (replaced.ok()) {
            replaced = context->save();
        } else {
            context->rollback();
        }
        if (!replaced.ok()) {
            PW_LOG_ERROR_VALUE(replaced.error());
        }
    }
    if (offline) {
        if (!AccountManager::setCurrentUser(user)) {
            // Another user is still in the keychain; signing this one in would mix their data.
            postFailure(std::move(fail), loginError(kCheckUserOffline));
            return;
        }
        postSuccess(std::move(success));
        return;
    }
    Alert question;
    question.title = kOfflineModeTitle;
    question.message = kOfflineModeLogin;
    question.cancelButtonTitle = kNo;
    question.otherButtonTitles = {kYes};
    auto callbacks =
        std::make_shared<std::pair<SuccessBlock, FailBlock>>(std::move(success), std::move(fail));
    Presenter::shared().showAlert(
        question, [this, username, password, callbacks, question](int buttonIndex) {
            if (buttonIndex == question.firstOtherButtonIndex()) {
                InterfaceManager::sharedInstance().activeOfflineMode(true);
            }
            finishOfflineLogin(username, password, std::move(callbacks->first),
                               std::move(callbacks->second));
        });
}

void LoginManager::finishOfflineLogin(const std::string& username, const std::string& password,
                                      SuccessBlock success, FailBlock fail) {
    // No token and no secret: the stored token stays for the next online request.
    if (Status saved = _saveUsername(username, password, std::nullopt, std::nullopt); !saved.ok()) {
        PW_LOG_ERROR_VALUE(saved.error());
        postFailure(std::move(fail), saved.error());
        return;
    }
    postSuccess(std::move(success));
}

void LoginManager::checkLoginWithBlock(CheckBlock block) {
    if (!_checkLastLoginDate()) {
        MainQueue::shared().post([block = std::move(block)] {
            if (block) {
                block(false, std::nullopt);
            }
        });
        return;
    }
    KeychainBridge& keychain = KeychainBridge::shared();
    auto shared = std::make_shared<CheckBlock>(std::move(block));
    loginWithUserName(
        keychain.username(), keychain.password(),
        [shared] {
            if (*shared) {
                (*shared)(true, std::nullopt);
            }
        },
        [shared](const Error& error) {
            if (*shared) {
                (*shared)(error.domain == HttpErrors::kNetworkDomain, error);
            }
        });
}

void LoginManager::logout() {
    if (hooks_.stopSynchronisation) {
        hooks_.stopSynchronisation();
    }
    if (hooks_.trackEvent) {
        hooks_.trackEvent(kLogoutEventType, kLogoutEventLabel, kLogoutScreenName);
    }
    if (hooks_.sendServerLogout) {
        hooks_.sendServerLogout();
    }
    if (Status removed = UserDefaults::shared().remove(kLastLoginKey); !removed.ok()) {
        PW_LOG_ERROR_VALUE(removed.error());
    }
}

}  // namespace pagewell
