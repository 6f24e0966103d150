#include "net/AccountManager.h"

#include <openssl/rand.h>

#include <array>
#include <mutex>

#include "net/KeychainBridge.h"
#include "platform/Logger.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/PersistentStore.h"

namespace pagewell {

std::optional<User> AccountManager::findUserNamed(StoreContext& context, const std::string& name) {
    auto key = EntityRows::first<std::int64_t>(
        context, "SELECT pk FROM User WHERE username = ? ORDER BY pk LIMIT 1",
        [](Statement& row) { return row.integer(0); }, name);
    if (!key.ok()) {
        PW_LOG_ERROR_VALUE(key.error());
        return std::nullopt;
    }
    if (!key.value()) {
        return std::nullopt;
    }
    auto user = User::find(context, *key.value());
    if (!user.ok()) {
        PW_LOG_ERROR_VALUE(user.error());
        return std::nullopt;
    }
    return user.value();
}

namespace {

// Version 4 UUID from the system's random source, in the canonical upper-case form.
std::string newUUID() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        PW_LOG_ERROR("Could not read random bytes for the installation identifier");
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace

std::optional<User> AccountManager::currentUser() {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    if (!store) {
        return std::nullopt;
    }
    return currentUserInContext(store->mainContext());
}

std::optional<User> AccountManager::currentUserInContext(StoreContext& context) {
    if (std::optional<std::int64_t> key = CurrentSelection::userKey()) {
        auto user = User::find(context, *key);
        if (!user.ok()) {
            PW_LOG_ERROR_VALUE(user.error());
            return std::nullopt;
        }
        return user.value();
    }
    std::string name = CurrentSelection::userName().value_or(std::string());
    if (name.empty()) {
        name = UserDefaults::shared().stringValue(kCurrentUserKey);
    }
    if (name.empty()) {
        return std::nullopt;
    }
    std::optional<User> user = findUserNamed(context, name);
    if (user && name == KeychainBridge::shared().username()) {
        CurrentSelection::setUser(user->pk, name);
        return user;
    }
    CurrentSelection::setUser(std::nullopt, std::nullopt);
    return std::nullopt;
}

std::string AccountManager::currentUsername() {
    if (std::optional<std::string> name = CurrentSelection::userName(); name && !name->empty()) {
        return *name;
    }
    std::optional<User> user = currentUser();
    return user ? user->username.value_or(std::string()) : std::string();
}

std::string AccountManager::currentUsernameInContext(StoreContext& context) {
    if (std::optional<std::string> name = CurrentSelection::userName(); name && !name->empty()) {
        return *name;
    }
    std::optional<User> user = currentUserInContext(context);
    return user ? user->username.value_or(std::string()) : std::string();
}

bool AccountManager::setCurrentUser(const std::optional<User>& user) {
    if (!user) {
        PW_LOG_ERROR("{}", kNilUserMessage);
        return false;
    }
    std::string name = user->username.value_or(std::string());
    std::string keychainName = KeychainBridge::shared().username();
    if (!keychainName.empty() && keychainName != name) {
        PW_LOG_ERROR(fmt::runtime(kStillLoggedInFormat), keychainName);
        return false;
    }
    CurrentSelection::setUser(user->pk != 0 ? std::optional<std::int64_t>(user->pk) : std::nullopt,
                              name);
    if (Status stored = UserDefaults::shared().set(kCurrentUserKey, name); !stored.ok()) {
        PW_LOG_ERROR_VALUE(stored.error());
    }
    return true;
}

std::string AccountManager::UID() {
    // Two first uses at once must not make two identifiers.
    static std::mutex creation;
    std::lock_guard lock(creation);
    UserDefaults& defaults = UserDefaults::shared();
    std::string uid = defaults.stringValue(kUIDKey);
    if (uid.empty()) {
        uid = newUUID();
        if (Status stored = defaults.set(kUIDKey, uid); !stored.ok()) {
            PW_LOG_ERROR_VALUE(stored.error());
        }
    }
    return uid;
}

std::optional<std::string> AccountManager::pushToken() {
    std::string token = UserDefaults::shared().stringValue(kPushTokenKey);
    if (token.empty()) {
        PW_LOG_INFO("{}", kNoPushTokenMessage);
        return std::nullopt;
    }
    return token;
}

void AccountManager::setPushToken(const std::optional<std::string>& token) {
    Status stored = token && !token->empty() ? UserDefaults::shared().set(kPushTokenKey, *token)
                                             : UserDefaults::shared().remove(kPushTokenKey);
    if (!stored.ok()) {
        PW_LOG_ERROR_VALUE(stored.error());
    }
}

void AccountManager::_forgetKeptUser() {
    CurrentSelection::setUser(std::nullopt, std::nullopt);
}

}  // namespace pagewell
