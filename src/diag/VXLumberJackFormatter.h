#pragma once
// Turns a log message into the one line format every log destination shares:
//   "<timestamp> - [<level letter>][<file> <function>][Line <n>] <text>"
// Keeps no state; safe from any thread.

#include <string>

#include "platform/Logger.h"

namespace pagewell {

class VXLumberJackFormatter {
  public:
    enum class Timestamp { Included, Omitted };

    // Omitted is for destinations that stamp each entry themselves (the system log).
    explicit VXLumberJackFormatter(Timestamp timestamp = Timestamp::Included)
        : timestamp_(timestamp) {}

    std::string formatLogMessage(const LogMessage& message) const;

    // "E", "W", "I", "D", "V"; any other flag gives an empty text.
    static std::string levelLetter(LogFlag flag);
    // "yyyy-MM-dd HH:mm:ss.SSS" in the local time zone.
    static std::string dateText(SystemTime time);

  private:
    Timestamp timestamp_;
};

}  // namespace pagewell
