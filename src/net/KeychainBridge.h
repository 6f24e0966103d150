#pragma once
// The installation's one credential item: item "Pagewell_login" of service "Pagewell" holding
// the user name (account), the password and the current access token.
//
// Where it lives: in the Secret Service (libsecret) when one answers within a few seconds,
// else in an owner-only (0600) file in the data area, with a warning logged once. With the
// Secret Service the password and the token travel only in the secret value; the item's
// attributes hold nothing secret. The environment variable PAGEWELL_KEYCHAIN ("file",
// "secret-service" or "auto") or the constructor's Backend argument picks the store, so tests
// never touch a real Secret Service.
//
// Writing a field with no value (none or empty) keeps the stored value; writing values equal to
// the stored ones does nothing. Keychain writes report nothing to the caller: failures are
// logged (never with a secret in the line).
//
// Threading: every member may be called from any thread. mutex_ guards the kept copy of the
// item and the backend.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pagewell {

class KeychainStore;

class KeychainBridge {
  public:
    using Path = std::filesystem::path;

    struct Credentials {
        std::string account;   // user name
        std::string password;  // the item's value data
        std::string token;     // the current access token
        bool operator==(const Credentials&) const = default;
    };

    enum class Backend {
        Automatic,      // PAGEWELL_KEYCHAIN when set, else the Secret Service when it answers,
                        // else the file
        SecretService,  // the Secret Service; the file when it does not answer
        File            // the owner-only file only
    };

    // `file` is the fallback file; empty means defaultFilePath() at the time of the first use.
    explicit KeychainBridge(Backend backend = Backend::Automatic, Path file = {});
    ~KeychainBridge();
    KeychainBridge(const KeychainBridge&) = delete;
    KeychainBridge& operator=(const KeychainBridge&) = delete;

    // Stores each given non-empty field; none or empty keeps the stored value. Nothing is
    // written when every field equals the stored one.
    void saveUsername(const std::optional<std::string>& username,
                      const std::optional<std::string>& password,
                      const std::optional<std::string>& token);
    // Removes the whole item.
    void deleteCredentials();

    // The stored fields; empty when absent.
    std::string username() const;
    std::string password() const;
    std::string token() const;

    // Which store answered: "secret-service" or "file" (decided on first use).
    std::string backendName() const;

    // <data directory>/Library/Keychain/Pagewell_login.json
    static Path defaultFilePath();

    // The process-wide bridge, created on first use with Backend::Automatic; replaceable in
    // tests (nullptr makes the next call create the default again).
    static KeychainBridge& shared();
    static std::shared_ptr<KeychainBridge> sharedPointer();
    static void setShared(std::shared_ptr<KeychainBridge> bridge);

    static constexpr const char* kItemIdentifier = "Pagewell_login";
    static constexpr const char* kService = "Pagewell";
    static constexpr const char* kBackendVariable = "PAGEWELL_KEYCHAIN";

  private:
    Credentials loadLocked() const;

    const Backend requested_;
    const Path file_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<KeychainStore> store_;    // guarded by mutex_; made on first use
    mutable std::optional<Credentials> credentials_;  // guarded by mutex_; the kept copy
};

}  // namespace pagewell
