#include "platform/HttpDate.h"

#include <cstdio>
#include <ctime>

namespace pagewell {

std::string HttpDate::format(SystemTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(time));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    // The names are English whatever the locale: strftime's %a and %b would follow it.
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

std::optional<SystemTime> HttpDate::parse(std::string_view text) {
    static constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    // "Sun, 06 Nov 1994 08:49:37 GMT": 29 characters at fixed places.
    if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    auto number = [&](std::size_t at, std::size_t length) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return std::nullopt;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const std::size_t month = kMonths.find(text.substr(8, 3));
    auto day = number(5, 2);
    auto year = number(12, 4);
    auto hour = number(17, 2);
    auto minute = number(20, 2);
    auto second = number(23, 2);
    if (month == std::string_view::npos || month % 3 != 0 || !day || !year || !hour || !minute ||
        !second || text[7] != ' ' || text[11] != ' ' || text[16] != ' ' || text[19] != ':' ||
        text[22] != ':' || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
        return std::nullopt;
    }
    std::tm utc{};
    utc.tm_year = *year - 1900;
    utc.tm_mon = static_cast<int>(month / 3);
    utc.tm_mday = *day;
    utc.tm_hour = *hour;
    utc.tm_min = *minute;
    utc.tm_sec = *second;
    return std::chrono::system_clock::from_time_t(::timegm(&utc));
}

}  // namespace pagewell
