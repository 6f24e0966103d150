#pragma once
// Dates in HTTP header fields (Last-Modified, If-Modified-Since): the fixed form
// "Sun, 06 Nov 1994 08:49:37 GMT", always in UTC. Stateless; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace pagewell {

class HttpDate {
  public:
    // Whole seconds; the fraction is dropped.
    static std::string format(SystemTime time);
    // The fixed form only (the one every current server sends); none for anything else.
    static std::optional<SystemTime> parse(std::string_view text);
};

}  // namespace pagewell
