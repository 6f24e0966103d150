#pragma once
// The password hash kept with each user for offline login. A plain digest of a password can be
// reversed by brute force from a copied store, so the hash is salted and slow:
// PBKDF2-HMAC-SHA-256 with a random 16-byte salt, stored as
// "pbkdf2-sha256$ITERATIONS$SALT$HASH" (salt and hash in lower-case hexadecimal).
// Stores written by earlier releases hold a bare 40-digit SHA-1; it is still accepted, and the
// caller replaces it with the salted form on that successful login (verify() says so).
// Stateless; safe from any thread.

#include <string>
#include <string_view>

namespace pagewell {

class PasswordHash {
  public:
    enum class Match {
        No,
        Yes,
        YesButOutdated  // right password, stored in a weaker form: store make(password) now
    };

    // A new salted hash of `password` (UTF-8 bytes) with kIterations rounds.
    static std::string make(std::string_view password);
    static std::string make(std::string_view password, std::string_view salt, int iterations);
    // Compares in constant time; an unreadable stored value never matches.
    static Match verify(std::string_view password, std::string_view stored);

    static constexpr int kIterations = 100'000;
    static constexpr std::size_t kSaltBytes = 16;
    static constexpr const char* kScheme = "pbkdf2-sha256";
};

}  // namespace pagewell
