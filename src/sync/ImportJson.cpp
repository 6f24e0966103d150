#include "sync/ImportJson.h"

#include <nlohmann/json.hpp>

#include <charconv>

#include "store/JsonNumber.h"

namespace pagewell {

std::optional<std::int64_t> ImportJson::textID(const nlohmann::json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    const std::string& text = value.get_ref<const std::string&>();
    std::size_t start = text.find_first_not_of(" \t\n\r");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    const char* first = text.data() + start;
    if (*first == '+') {
        ++first;
    }
    std::int64_t id = 0;
    auto [end, ec] = std::from_chars(first, text.data() + text.size(), id);
    if (ec != std::errc() || end == first) {
        return std::nullopt;
    }
    return id;
}

std::optional<std::int64_t> ImportJson::itemID(const nlohmann::json& item) {
    return textID(at(item, "id"));
}

std::vector<std::int64_t> ImportJson::idList(const nlohmann::json& value) {
    std::vector<std::int64_t> ids;
    if (!value.is_array()) {
        return ids;
    }
    ids.reserve(value.size());
    for (const auto& entry : value) {
        if (entry.is_string()) {
            if (auto id = textID(entry)) {
                ids.push_back(*id);
            }
        } else if (entry.is_number()) {
            if (auto id = JsonNumber::integer(entry)) {
                ids.push_back(*id);
            }
        }
    }
    return ids;
}

std::vector<std::int64_t> ImportJson::idList(const nlohmann::json& object, std::string_view key) {
    return idList(at(object, key));
}

std::vector<std::int64_t> ImportJson::textIDList(const nlohmann::json& object,
                                                 std::string_view key) {
    std::vector<std::int64_t> ids;
    const nlohmann::json& value = at(object, key);
    if (!value.is_array()) {
        return ids;
    }
    for (const auto& entry : value) {
        if (auto id = textID(entry)) {
            ids.push_back(*id);
        }
    }
    return ids;
}

bool ImportJson::has(const nlohmann::json& object, std::string_view key) {
    return object.is_object() && object.find(key) != object.end();
}

const nlohmann::json& ImportJson::at(const nlohmann::json& object, std::string_view key) {
    static const nlohmann::json kNull;
    if (!object.is_object()) {
        return kNull;
    }
    auto found = object.find(key);
    return found == object.end() ? kNull : *found;
}

bool ImportJson::flag(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json& value = at(object, key);
    if (value.is_boolean()) {
        return value.get<bool>();
    }
    if (value.is_number() || value.is_string()) {
        return JsonNumber::integer(value).value_or(0) != 0;
    }
    return false;
}

const char* ImportJson::typeName(const nlohmann::json& value) {
    return value.type_name();
}

}  // namespace pagewell
