#pragma once
// How server JSON values become store numbers and texts. The server writes identifiers and
// sizes sometimes as numbers and sometimes as decimal text; both read the same, with the
// integer conversion the importer has always applied (leading digits of a text, a fraction
// cut off). Stateless; safe from any thread.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagewell {

class JsonNumber {
  public:
    // A number (truncated), a boolean (0 or 1) or a text read like "12", " -3", "7px" (its
    // leading integer; a text without one reads as 0). Null, arrays and objects give none.
    static std::optional<std::int64_t> integer(const nlohmann::json& value);
    // The value under `key` of an object; an absent key or a non-object gives none.
    static std::optional<std::int64_t> integer(const nlohmann::json& object, std::string_view key);

    // The text under `key`; a number is written in decimal; null, absent or other types give
    // none.
    static std::optional<std::string> text(const nlohmann::json& object, std::string_view key);
};

}  // namespace pagewell
