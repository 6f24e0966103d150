#include "cms/TokenStore.h"

#include <openssl/rand.h>

#include <fmt/format.h>
#include <array>

namespace pagewell::cms {

TokenStore::TokenStore(std::chrono::seconds lifetime) : lifetime_(lifetime) {}

std::string TokenStore::issue(int user) {
    std::array<unsigned char, 20> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        // Without random bytes a token could be guessed; refuse rather than hand one out.
        return {};
    }
    std::string token;
    for (unsigned char byte : bytes) {
        token += fmt::format("{:02x}", byte);
    }
    std::lock_guard lock(mutex_);
    tokens_[token] = Entry{user, Clock::shared().now() + lifetime_};
    return token;
}

std::optional<int> TokenStore::userFor(const std::string& token) const {
    std::lock_guard lock(mutex_);
    auto it = tokens_.find(token);
    if (it == tokens_.end() || Clock::shared().now() >= it->second.expires) {
        return std::nullopt;
    }
    return it->second.user;
}

void TokenStore::revoke(const std::string& token) {
    std::lock_guard lock(mutex_);
    tokens_.erase(token);
}

void TokenStore::expireAll() {
    std::lock_guard lock(mutex_);
    tokens_.clear();
}

}  // namespace pagewell::cms
