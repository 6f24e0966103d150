#include "store/ServerDate.h"

#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <ctime>

namespace pagewell {

namespace {

constexpr std::string_view kPattern = "dddd-dd-dd dd:dd:dd";

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

int number(std::string_view text, std::size_t offset, std::size_t length) {
    int value = 0;
    for (std::size_t i = offset; i < offset + length; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<SystemTime> ServerDate::parse(std::string_view text) {
    if (text.size() != kPattern.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) {
            return std::nullopt;
        }
    }
    const int year = number(text, 0, 4);
    const int month = number(text, 5, 2);
    const int day = number(text, 8, 2);
    const int hour = number(text, 11, 2);
    const int minute = number(text, 14, 2);
    const int second = number(text, 17, 2);
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }

    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;  // let the zone rules decide whether daylight saving applies
    // mktime returns -1 both for failure and for one second before the epoch; it sets tm_wday
    // only when it succeeds.
    fields.tm_wday = -1;
    const std::time_t seconds = std::mktime(&fields);
    if (seconds == static_cast<std::time_t>(-1) && fields.tm_wday == -1) {
        return std::nullopt;
    }
    return std::chrono::system_clock::from_time_t(seconds);
}

std::optional<SystemTime> ServerDate::parseJson(const nlohmann::json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    return parse(value.get_ref<const std::string&>());
}

std::optional<SystemTime> ServerDate::parse(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto found = object.find(key);
    if (found == object.end()) {
        return std::nullopt;
    }
    return parseJson(*found);
}

std::string ServerDate::format(SystemTime time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const std::time_t value = std::chrono::system_clock::to_time_t(seconds);
    std::tm fields{};
    if (::localtime_r(&value, &fields) == nullptr) {
        return {};
    }
    std::array<char, 64> buffer{};
    const std::size_t length =
        std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S", &fields);
    return std::string(buffer.data(), length);
}

}  // namespace pagewell
