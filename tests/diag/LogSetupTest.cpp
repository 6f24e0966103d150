#include "diag/LogSetup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "DiagTestSupport.h"
#include "TestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string fileText(const std::shared_ptr<RotatingFileLogSink>& sink) {
    std::string text;
    for (const auto& file : sink->logFiles()) {
        auto bytes = FileSystem::readFile(file);
        text += bytes.ok() ? bytes.value() : std::string();
    }
    return text;
}

class LogSetupTest : public ManualClockTest {
  protected:
    std::string echoed() {
        std::fflush(echo_.get());
        std::rewind(echo_.get());
        std::string text(1 << 16, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), echo_.get()));
        std::fseek(echo_.get(), 0, SEEK_END);
        return text;
    }

    TemporaryDirectory directory_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> echo_{std::tmpfile(), &std::fclose};
    LogSetup setup_;
};

TEST_F(LogSetupTest, FileLogUsesTheApplicationLimits) {
    auto file = setup_.initLogger({.logsDirectory = directory_.path()});
    ASSERT_TRUE(file);
    EXPECT_EQ(file->directory(), directory_.path());
    EXPECT_EQ(file->limits().maximumFileSize, 1'048'576u);
    EXPECT_EQ(file->limits().rollingFrequency, 86'400s);
    EXPECT_EQ(file->limits().maximumNumberOfLogFiles, 7u);
    EXPECT_EQ(setup_.fileLogger(), file);
}

TEST_F(LogSetupTest, CallingTwiceDoesNotDoubleTheDestinations) {
    const LogSetup::Options verbose{
        .logsDirectory = directory_.path(), .verbose = true, .echoStream = echo_.get()};
    auto file = setup_.initLogger(verbose);
    EXPECT_EQ(setup_.initLogger(verbose), file);
    PW_LOG_INFO("once {}", 1);
    EXPECT_EQ(lineCount(fileText(file)), 1u);
    EXPECT_EQ(lineCount(echoed()), 1u);
    EXPECT_NE(echoed().find("[I][LogSetupTest"), std::string::npos) << echoed();

    // Without verbose the echo goes away; the file log stays the same one.
    auto quiet = verbose;
    quiet.verbose = false;
    EXPECT_EQ(setup_.initLogger(quiet), file);
    PW_LOG_WARNING("twice");
    EXPECT_EQ(lineCount(fileText(file)), 2u);
    EXPECT_EQ(lineCount(echoed()), 1u);

    setup_.tearDown();
    PW_LOG_ERROR("after tear-down");
    EXPECT_EQ(lineCount(fileText(file)), 2u);
    EXPECT_FALSE(setup_.fileLogger());
}

TEST_F(LogSetupTest, AnotherDirectoryGetsItsOwnFileLog) {
    TemporaryDirectory other;
    auto first = setup_.initLogger({.logsDirectory = directory_.path()});
    auto second = setup_.initLogger({.logsDirectory = other.path()});
    ASSERT_NE(first, second);
    PW_LOG_INFO("only in the second");
    EXPECT_EQ(lineCount(fileText(first)), 0u);
    EXPECT_EQ(lineCount(fileText(second)), 1u);
}

TEST_F(LogSetupTest, DestroyingTheSetUpRemovesItsDestinations) {
    std::shared_ptr<RotatingFileLogSink> file;
    {
        LogSetup scoped;
        file = scoped.initLogger({.logsDirectory = directory_.path()});
        PW_LOG_INFO("kept");
    }
    PW_LOG_INFO("not kept");
    EXPECT_EQ(lineCount(fileText(file)), 1u);
}

}  // namespace
}  // namespace pagewell
