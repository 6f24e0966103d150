#include "diag/VXLumberJackFormatter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace pagewell {
namespace {

// Sets TZ for one test and puts the old value back afterwards.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> old_;
};

const SystemTime kSample{std::chrono::milliseconds(1'700'000'000'123)};  // 2023-11-14 22:13:20Z

LogMessage sampleMessage(LogFlag flag) {
    return LogMessage{flag,          kSample,
                      "AppDelegate", "registerForRemoteNotification",
                      261,           "Push registration success."};
}

TEST(VXLumberJackFormatterTest, FormatsTheStartUpMessageAsOneLine) {
    ScopedTimeZone utc("UTC");
    EXPECT_EQ(VXLumberJackFormatter().formatLogMessage(sampleMessage(LogFlag::Info)),
              "2023-11-14 22:13:20.123 - [I][AppDelegate registerForRemoteNotification]"
              "[Line 261] Push registration success.");
}

TEST(VXLumberJackFormatterTest, TimestampIsLocalTime) {
    ScopedTimeZone centralEurope("CET-1");
    EXPECT_EQ(VXLumberJackFormatter::dateText(kSample), "2023-11-14 23:13:20.123");
    ScopedTimeZone newYork("EST+5");
    EXPECT_EQ(VXLumberJackFormatter::dateText(kSample), "2023-11-14 17:13:20.123");
}

TEST(VXLumberJackFormatterTest, LevelLettersAndUnknownFlags) {
    const struct {
        LogFlag flag;
        const char* letter;
    } cases[] = {
        {LogFlag::Error, "E"},          {LogFlag::Warning, "W"}, {LogFlag::Info, "I"},
        {LogFlag::Debug, "D"},          {LogFlag::Verbose, "V"}, {static_cast<LogFlag>(0), ""},
        {static_cast<LogFlag>(3), ""},  // two flags at once is not a level
        {static_cast<LogFlag>(32), ""},
    };
    const VXLumberJackFormatter formatter(VXLumberJackFormatter::Timestamp::Omitted);
    for (const auto& c : cases) {
        EXPECT_EQ(formatter.formatLogMessage(sampleMessage(c.flag)),
                  std::string("[") + c.letter +
                      "][AppDelegate registerForRemoteNotification][Line 261] "
                      "Push registration success.")
            << static_cast<int>(c.flag);
    }
}

}  // namespace
}  // namespace pagewell
