#pragma once
// Dates as the content server writes them: "yyyy-MM-dd HH:mm:ss" in the device's local time
// zone, without a zone designator. Stateless; safe from any thread (uses the reentrant C time
// functions, which read the process time zone).

#include <nlohmann/json_fwd.hpp>

#include <concepts>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace pagewell {

class ServerDate {
  public:
    // The point in time the text names in the local zone. Anything not exactly in the server
    // form (including the empty text and impossible dates such as 2023-02-30) gives no date.
    // A wall time that occurs twice or not at all around a daylight-saving change is resolved
    // the way the C library's mktime resolves it.
    static std::optional<SystemTime> parse(std::string_view text);
    // A JSON value: a text is parsed as above; null or any other type gives no date. The
    // template only admits an actual JSON value (text converts to JSON implicitly, which would
    // make a plain overload ambiguous); parseJson is the same under a name of its own.
    template <class Json>
    requires std::same_as<Json, nlohmann::json>
    static std::optional<SystemTime> parse(const Json& value) { return parseJson(value); }
    static std::optional<SystemTime> parseJson(const nlohmann::json& value);
    // The value under `key` of a JSON object; an absent key, or a value that is not an object,
    // gives no date.
    static std::optional<SystemTime> parse(const nlohmann::json& object, std::string_view key);
    static std::optional<SystemTime> parseJson(const nlohmann::json& object, std::string_view key) {
        return parse(object, key);
    }

    // The server form of the time in the local zone; fractions of a second are dropped.
    static std::string format(SystemTime time);
};

}  // namespace pagewell
