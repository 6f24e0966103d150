#include <gtest/gtest.h>
#include <syslog.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "diag/StderrLogSink.h"
#include "diag/SystemLogSink.h"

namespace pagewell {
namespace {

LogMessage sampleMessage(LogFlag flag) {
    return LogMessage{flag,          SystemTime{std::chrono::seconds(1'700'000'000)},
                      "AppDelegate", "registerForRemoteNotification",
                      261,           "Push registration success."};
}

TEST(SystemLogSinkTest, WritesLinesWithoutTimestampAtTheMatchingPriority) {
    std::vector<std::pair<int, std::string>> written;
    SystemLogSink sink(
        [&](int priority, const std::string& line) { written.emplace_back(priority, line); });
    const struct {
        LogFlag flag;
        int priority;
    } cases[] = {{LogFlag::Error, LOG_ERR},
                 {LogFlag::Warning, LOG_WARNING},
                 {LogFlag::Info, LOG_INFO},
                 {LogFlag::Debug, LOG_DEBUG},
                 {LogFlag::Verbose, LOG_DEBUG}};
    for (const auto& c : cases) {
        sink.write(sampleMessage(c.flag));
    }
    ASSERT_EQ(written.size(), std::size(cases));
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(written[i].first, cases[i].priority);
        EXPECT_EQ(written[i].second, "[" + VXLumberJackFormatter::levelLetter(cases[i].flag) +
                                         "][AppDelegate registerForRemoteNotification][Line 261] "
                                         "Push registration success.");
    }
}

TEST(StderrLogSinkTest, EchoesEachFormattedLine) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(stream);
    StderrLogSink sink(stream.get());
    sink.write(sampleMessage(LogFlag::Warning));
    sink.write(sampleMessage(LogFlag::Error));

    std::rewind(stream.get());
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), stream.get()));
    const VXLumberJackFormatter formatter;
    EXPECT_EQ(text, formatter.formatLogMessage(sampleMessage(LogFlag::Warning)) + "\n" +
                        formatter.formatLogMessage(sampleMessage(LogFlag::Error)) + "\n");
}

}  // namespace
}  // namespace pagewell
