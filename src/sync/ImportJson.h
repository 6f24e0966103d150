#pragma once
// How the importer reads identifiers out of server answers. An item's own "id" is decimal
// text (a number there is not supported: the item gets no identifier and is skipped); the
// entries of the ID arrays ("child_ids", "delete", "remove", ...) may be decimal texts or
// numbers, and other entries are skipped. Stateless; safe from any thread.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace pagewell {

class ImportJson {
  public:
    // The leading decimal integer of a text ("12", " 7", "-3"); none for other JSON types and
    // for texts without digits or outside the 64-bit range.
    static std::optional<std::int64_t> textID(const nlohmann::json& value);
    // The "id" of a list item under the text rule; none when the item is not an object.
    static std::optional<std::int64_t> itemID(const nlohmann::json& item);
    // The entries of an ID array that are decimal texts or numbers; anything that is not an
    // array gives the empty list.
    static std::vector<std::int64_t> idList(const nlohmann::json& value);
    // The ID array under `key` of an object (empty when absent or not an array).
    static std::vector<std::int64_t> idList(const nlohmann::json& object, std::string_view key);
    // Entries that are decimal texts only ("beacons", "customers", "qrcodes", "customer_ids").
    static std::vector<std::int64_t> textIDList(const nlohmann::json& object, std::string_view key);
    // Whether the object has `key` (a non-object has no keys).
    static bool has(const nlohmann::json& object, std::string_view key);
    // The value under `key`, or a shared null when absent or not an object.
    static const nlohmann::json& at(const nlohmann::json& object, std::string_view key);
    // A boolean read from true/false, numbers and numeric texts; absent or other: false.
    static bool flag(const nlohmann::json& object, std::string_view key);
    // The JSON type's name for log lines ("string", "array", ...).
    static const char* typeName(const nlohmann::json& value);
};

}  // namespace pagewell
