#include "cli/JsonValue.h"

#include <chrono>

namespace pagewell::cli {

nlohmann::json toJson(const PlistValue& value) {
    return std::visit(
        [](const auto& v) -> nlohmann::json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<T, PlistArray>) {
                nlohmann::json array = nlohmann::json::array();
                for (const auto& item : v) {
                    array.push_back(toJson(item));
                }
                return array;
            } else if constexpr (std::is_same_v<T, PlistDict>) {
                nlohmann::json object = nlohmann::json::object();
                for (const auto& [key, item] : v) {
                    object[key] = toJson(item);
                }
                return object;
            } else if constexpr (std::is_same_v<T, PlistData>) {
                return {{"bytes", v.bytes.size()}};
            } else if constexpr (std::is_same_v<T, SystemTime>) {
                return std::chrono::duration_cast<std::chrono::seconds>(v.time_since_epoch())
                    .count();
            } else {
                return v;
            }
        },
        value.storage());
}

}  // namespace pagewell::cli
