#pragma once
// The access tokens a running server has handed out. A token belongs to one user and expires
// after the configured lifetime, measured with Clock::shared() so tests move time by hand.
// Thread-safe: every member takes mutex_.

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace pagewell::cms {

class TokenStore {
  public:
    explicit TokenStore(std::chrono::seconds lifetime);

    // A new random token for `user`.
    std::string issue(int user);
    // The user of a token that is known and not expired.
    std::optional<int> userFor(const std::string& token) const;
    void revoke(const std::string& token);
    // Makes every token handed out so far invalid (a test hook).
    void expireAll();

  private:
    struct Entry {
        int user = 0;
        SystemTime expires;
    };

    const std::chrono::seconds lifetime_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry> tokens_;  // guarded by mutex_
};

}  // namespace pagewell::cms
