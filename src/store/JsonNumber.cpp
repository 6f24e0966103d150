#include "store/JsonNumber.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <limits>

namespace pagewell {

namespace {

std::int64_t leadingInteger(const std::string& text) {
    std::size_t index = 0;
    while (index < text.size() && std::isspace(static_cast<unsigned char>(text[index]))) {
        ++index;
    }
    bool negative = false;
    if (index < text.size() && (text[index] == '-' || text[index] == '+')) {
        negative = text[index] == '-';
        ++index;
    }
    // Saturates instead of overflowing, as the platform's text conversion did.
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; index < text.size() && std::isdigit(static_cast<unsigned char>(text[index])); ++index) {
        int digit = text[index] - '0';
        if (value > (kLimit - digit) / 10) {
            return negative ? std::numeric_limits<std::int64_t>::min() : kLimit;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto found = object.find(std::string(key));
    return found == object.end() ? nullptr : &*found;
}

}  // namespace

std::optional<std::int64_t> JsonNumber::integer(const nlohmann::json& value) {
    switch (value.type()) {
        case nlohmann::json::value_t::number_integer:
            return value.get<std::int64_t>();
        case nlohmann::json::value_t::number_unsigned: {
            auto unsignedValue = value.get<std::uint64_t>();
            constexpr auto kMax =
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
            return static_cast<std::int64_t>(std::min(unsignedValue, kMax));
        }
        case nlohmann::json::value_t::number_float: {
            double number = value.get<double>();
            if (!std::isfinite(number) || std::fabs(number) >= 9.2e18) {
                return std::nullopt;
            }
            return static_cast<std::int64_t>(std::trunc(number));
        }
        case nlohmann::json::value_t::boolean:
            return value.get<bool>() ? 1 : 0;
        case nlohmann::json::value_t::string:
            return leadingInteger(value.get_ref<const std::string&>());
        default:
            return std::nullopt;
    }
}

std::optional<std::int64_t> JsonNumber::integer(const nlohmann::json& object,
                                                std::string_view key) {
    const nlohmann::json* value = member(object, key);
    return value ? integer(*value) : std::nullopt;
}

std::optional<std::string> JsonNumber::text(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* value = member(object, key);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_string()) {
        return value->get<std::string>();
    }
    if (value->is_number_integer() || value->is_number_unsigned()) {
        return value->dump();
    }
    if (value->is_number_float()) {
        return value->dump();
    }
    return std::nullopt;
}

}  // namespace pagewell
