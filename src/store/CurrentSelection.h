#pragma once
// Who is signed in and which content language is chosen, as store keys. Find-or-create and
// the queries fill a missing user or locale from here. The login session and the content
// languages set it; tests set it directly. Thread-safe.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace pagewell {

class CurrentSelection {
  public:
    static std::optional<std::int64_t> userKey();
    static std::optional<std::string> userName();
    static std::optional<std::int64_t> localeKey();

    static void setUser(std::optional<std::int64_t> key, std::optional<std::string> name);
    static void setLocale(std::optional<std::int64_t> key);
    static void clear();
};

}  // namespace pagewell
