#include "diag/VXLumberJackFormatter.h"

#include <ctime>

namespace pagewell {

std::string VXLumberJackFormatter::formatLogMessage(const LogMessage& message) const {
    std::string line =
        fmt::format("[{}][{} {}][Line {}] {}", levelLetter(message.flag), message.fileName,
                    message.function, message.line, message.message);
    if (timestamp_ == Timestamp::Omitted) {
        return line;
    }
    return dateText(message.timestamp) + " - " + line;
}

std::string VXLumberJackFormatter::levelLetter(LogFlag flag) {
    switch (flag) {
        case LogFlag::Error:
            return "E";
        case LogFlag::Warning:
            return "W";
        case LogFlag::Info:
            return "I";
        case LogFlag::Debug:
            return "D";
        case LogFlag::Verbose:
            return "V";
    }
    return {};
}

std::string VXLumberJackFormatter::dateText(SystemTime time) {
    // Local time, like the date text a user sees on the device, with milliseconds so that lines
    // of one burst keep their order when read back.
    using namespace std::chrono;
    const auto millis = floor<milliseconds>(time.time_since_epoch());
    const auto seconds = floor<std::chrono::seconds>(millis);
    const std::time_t clockSeconds = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    ::localtime_r(&clockSeconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return fmt::format("{}.{:03}", text, (millis - seconds).count());
}

}  // namespace pagewell
