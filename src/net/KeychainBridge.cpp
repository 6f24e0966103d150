#include "net/KeychainBridge.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {

// The two places the item can live. load() answers none when the store could not be read
// (which is different from an empty item).
class KeychainStore {
  public:
    using Credentials = KeychainBridge::Credentials;
    virtual ~KeychainStore() = default;
    virtual std::optional<Credentials> load() = 0;
    virtual bool store(const Credentials& credentials) = 0;
    virtual bool remove() = 0;
    virtual std::string name() const = 0;
};

namespace {

using Json = nlohmann::json;

// A Secret Service that does not answer within this time counts as absent: a locked or hung
// session bus must not hang the app.
constexpr std::chrono::seconds kSecretServiceTimeout{3};

std::string toJson(const KeychainBridge::Credentials& credentials) {
    Json json = {{"item", KeychainBridge::kItemIdentifier},
                 {"service", KeychainBridge::kService},
                 {"account", credentials.account},
                 {"password", credentials.password},
                 {"token", credentials.token}};
    return json.dump();
}

std::optional<KeychainBridge::Credentials> fromJson(const std::string& text) {
    Json json = Json::parse(text, nullptr, false);
    if (!json.is_object()) {
        return std::nullopt;
    }
    auto field = [&json](const char* key) {
        auto found = json.find(key);
        return found != json.end() && found->is_string() ? found->get<std::string>()
                                                         : std::string();
    };
    return KeychainBridge::Credentials{field("account"), field("password"), field("token")};
}

// ---- owner-only file ------------------------------------------------------------------------

class FileKeychainStore final : public KeychainStore {
  public:
    explicit FileKeychainStore(std::filesystem::path path) : path_(std::move(path)) {}

    std::optional<Credentials> load() override {
        std::error_code ignored;
        if (!std::filesystem::exists(path_, ignored)) {
            return Credentials{};
        }
        struct stat info {};
        if (::stat(path_.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
            // Someone widened the permissions; the credentials must stay owner-only.
            PW_LOG_WARNING("Credential file {} was readable by others; making it owner-only",
                           path_.string());
            (void)FileSystem::protect(path_);
        }
        auto bytes = FileSystem::readFile(path_);
        if (!bytes.ok()) {
            PW_LOG_ERROR("Could not read the credential file {}", path_.string());
            return std::nullopt;
        }
        auto credentials = fromJson(bytes.value());
        if (!credentials) {
            PW_LOG_ERROR("The credential file {} is damaged; it is read as empty", path_.string());
            return Credentials{};
        }
        return credentials;
    }

    bool store(const Credentials& credentials) override {
        if (Status made = FileSystem::createDirectories(path_.parent_path()); !made.ok()) {
            PW_LOG_ERROR_VALUE(made.error());
            return false;
        }
        Status written = FileSystem::writeFileAtomically(path_, toJson(credentials));
        if (!written.ok()) {
            PW_LOG_ERROR("Could not write the credential file {}", path_.string());
            return false;
        }
        (void)FileSystem::protect(path_);
        return true;
    }

    bool remove() override {
        std::error_code error;
        std::filesystem::remove(path_, error);
        if (error) {
            PW_LOG_ERROR("Could not remove the credential file {}: {}", path_.string(),
                         error.message());
            return false;
        }
        return true;
    }

    std::string name() const override { return "file"; }

  private:
    std::filesystem::path path_;
};

// ---- Secret Service -------------------------------------------------------------------------

const SecretSchema* credentialSchema() {
    // The attributes locate the item and hold nothing secret; account, password and token
    // travel together in the secret value.
    static const SecretSchema schema = {"org.pagewell.Credentials",
                                        SECRET_SCHEMA_NONE,
                                        {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"item", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

// The outcome of one Secret Service call made on a helper thread.
template <class T>
struct CallState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;  // guarded by mutex
    T value{};              // guarded by mutex
};

// Runs `call` on a helper thread and waits at most kSecretServiceTimeout. A call that overruns
// is cancelled and left to end on its own; its answer is dropped. None means "did not answer".
template <class T>
std::optional<T> timeBoxed(std::function<T(GCancellable*)> call) {
    auto state = std::make_shared<CallState<T>>();
    GCancellable* cancellable = g_cancellable_new();
    g_object_ref(cancellable);  // one reference for the helper thread
    std::thread([state, cancellable, call = std::move(call)] {
        T value = call(cancellable);
        g_object_unref(cancellable);
        std::lock_guard lock(state->mutex);
        state->value = std::move(value);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    bool finished =
        state->done.wait_for(lock, kSecretServiceTimeout, [&state] { return state->finished; });
    if (!finished) {
        g_cancellable_cancel(cancellable);
    }
    g_object_unref(cancellable);
    if (!finished) {
        return std::nullopt;
    }
    return std::move(state->value);
}

// What a lookup answered: `ok` false when the service failed; `secret` empty for no item.
struct LookupAnswer {
    bool ok = false;
    std::string secret;
    bool found = false;
    std::string failure;
};

LookupAnswer lookupSecret(GCancellable* cancellable) {
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(credentialSchema(), cancellable, &error, "service",
                                                KeychainBridge::kService, "item",
                                                KeychainBridge::kItemIdentifier, nullptr);
    LookupAnswer answer;
    if (error != nullptr) {
        answer.failure = error->message;
        g_error_free(error);
        return answer;
    }
    answer.ok = true;
    if (secret != nullptr) {
        answer.found = true;
        answer.secret = secret;
        secret_password_free(secret);
    }
    return answer;
}

// Answers "" on success, else the failure text.
std::string storeSecret(const std::string& secret, GCancellable* cancellable) {
    GError* error = nullptr;
    std::string label = std::string(KeychainBridge::kItemIdentifier);
    secret_password_store_sync(credentialSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                               secret.c_str(), cancellable, &error, "service",
                               KeychainBridge::kService, "item", KeychainBridge::kItemIdentifier,
                               nullptr);
    if (error != nullptr) {
        std::string failure = error->message;
        g_error_free(error);
        return failure.empty() ? "unknown failure" : failure;
    }
    return {};
}

std::string clearSecret(GCancellable* cancellable) {
    GError* error = nullptr;
    secret_password_clear_sync(credentialSchema(), cancellable, &error, "service",
                               KeychainBridge::kService, "item", KeychainBridge::kItemIdentifier,
                               nullptr);
    if (error != nullptr) {
        std::string failure = error->message;
        g_error_free(error);
        return failure.empty() ? "unknown failure" : failure;
    }
    return {};
}

class SecretServiceKeychainStore final : public KeychainStore {
  public:
    // Whether a Secret Service answers on the session bus; never waits longer than the time box.
    static bool answers() {
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (bus == nullptr || *bus == '\0') {
            // Without a session bus address the library would try to start one; do not.
            return false;
        }
        auto answer = timeBoxed<LookupAnswer>(lookupSecret);
        if (!answer) {
            PW_LOG_WARNING("The Secret Service did not answer within {} seconds",
                           kSecretServiceTimeout.count());
            return false;
        }
        if (!answer->ok) {
            PW_LOG_INFO("No Secret Service: {}", answer->failure);
            return false;
        }
        return true;
    }

    std::optional<Credentials> load() override {
        auto answer = timeBoxed<LookupAnswer>(lookupSecret);
        if (!answer || !answer->ok) {
            PW_LOG_ERROR("Could not read the credentials from the Secret Service: {}",
                         answer ? answer->failure : std::string("no answer"));
            return std::nullopt;
        }
        if (!answer->found) {
            return Credentials{};
        }
        return fromJson(answer->secret).value_or(Credentials{});
    }

    bool store(const Credentials& credentials) override {
        std::string secret = toJson(credentials);
        auto failure = timeBoxed<std::string>(
            [secret](GCancellable* cancellable) { return storeSecret(secret, cancellable); });
        if (!failure || !failure->empty()) {
            PW_LOG_ERROR("Could not store the credentials in the Secret Service: {}",
                         failure ? *failure : std::string("no answer"));
            return false;
        }
        return true;
    }

    bool remove() override {
        auto failure = timeBoxed<std::string>(clearSecret);
        if (!failure || !failure->empty()) {
            PW_LOG_ERROR("Could not remove the credentials from the Secret Service: {}",
                         failure ? *failure : std::string("no answer"));
            return false;
        }
        return true;
    }

    std::string name() const override { return "secret-service"; }
};

KeychainBridge::Backend backendFromEnvironment() {
    const char* value = std::getenv(KeychainBridge::kBackendVariable);
    std::string text = value != nullptr ? value : "";
    if (text == "file") {
        return KeychainBridge::Backend::File;
    }
    if (text == "secret-service") {
        return KeychainBridge::Backend::SecretService;
    }
    if (!text.empty() && text != "auto") {
        PW_LOG_WARNING("Unknown {} value '{}'; choosing the store automatically",
                       KeychainBridge::kBackendVariable, text);
    }
    return KeychainBridge::Backend::SecretService;
}

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<KeychainBridge>& sharedSlot() {
    static std::shared_ptr<KeychainBridge> bridge;  // guarded by sharedMutex()
    return bridge;
}

}  // namespace

KeychainBridge::KeychainBridge(Backend backend, Path file)
    : requested_(backend), file_(std::move(file)) {}

KeychainBridge::~KeychainBridge() = default;

KeychainBridge::Path KeychainBridge::defaultFilePath() {
    return FileAreas::shared().dataDirectory() / "Library" / "Keychain" /
           (std::string(kItemIdentifier) + ".json");
}

KeychainBridge::Credentials KeychainBridge::loadLocked() const {
    if (credentials_) {
        return *credentials_;
    }
    if (!store_) {
        Backend backend = requested_ == Backend::Automatic ? backendFromEnvironment() : requested_;
        Path file = file_.empty() ? defaultFilePath() : file_;
        if (backend == Backend::SecretService && SecretServiceKeychainStore::answers()) {
            store_ = std::make_unique<SecretServiceKeychainStore>();
        } else {
            if (backend == Backend::SecretService) {
                PW_LOG_WARNING(
                    "No Secret Service answered; the credentials are kept in the owner-only "
                    "file {}",
                    file.string());
            }
            store_ = std::make_unique<FileKeychainStore>(file);
        }
    }
    // A store that cannot be read is not remembered as empty: the next call tries again.
    std::optional<Credentials> loaded = store_->load();
    if (!loaded) {
        return Credentials{};
    }
    credentials_ = *loaded;
    return *credentials_;
}

void KeychainBridge::saveUsername(const std::optional<std::string>& username,
                                  const std::optional<std::string>& password,
                                  const std::optional<std::string>& token) {
    std::lock_guard lock(mutex_);
    Credentials current = loadLocked();
    Credentials updated = current;
    if (username && !username->empty()) {
        updated.account = *username;
    }
    if (password && !password->empty()) {
        updated.password = *password;
    }
    if (token && !token->empty()) {
        updated.token = *token;
    }
    if (updated == current && credentials_) {
        return;
    }
    // The kept copy follows the request even when the store refuses it, so this run goes on
    // with the credentials it was given; the failure is logged by the store.
    credentials_ = updated;
    (void)store_->store(updated);
}

void KeychainBridge::deleteCredentials() {
    std::lock_guard lock(mutex_);
    (void)loadLocked();
    credentials_ = Credentials{};
    (void)store_->remove();
}

std::string KeychainBridge::username() const {
    std::lock_guard lock(mutex_);
    return loadLocked().account;
}

std::string KeychainBridge::password() const {
    std::lock_guard lock(mutex_);
    return loadLocked().password;
}

std::string KeychainBridge::token() const {
    std::lock_guard lock(mutex_);
    return loadLocked().token;
}

std::string KeychainBridge::backendName() const {
    std::lock_guard lock(mutex_);
    (void)loadLocked();
    return store_->name();
}

KeychainBridge& KeychainBridge::shared() {
    return *sharedPointer();
}

std::shared_ptr<KeychainBridge> KeychainBridge::sharedPointer() {
    std::lock_guard lock(sharedMutex());
    if (!sharedSlot()) {
        sharedSlot() = std::make_shared<KeychainBridge>();
    }
    return sharedSlot();
}

void KeychainBridge::setShared(std::shared_ptr<KeychainBridge> bridge) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(bridge);
}

}  // namespace pagewell
