#pragma once
// Helpers shared by the logging tests: a sink that keeps what it is given, and a fixture
// that installs a manual clock for the duration of a test.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Logger.h"

namespace pagewell {

class CapturingSink final : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    std::vector<LogMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> texts;
        for (const auto& message : messages()) {
            texts.push_back(message.message);
        }
        return texts;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<LogMessage> messages_;  // guarded by mutex_
};

class ManualClockTest : public ::testing::Test {
  protected:
    void SetUp() override { Clock::setShared(clock_); }
    void TearDown() override { Clock::setShared(nullptr); }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
};

inline LogMessage makeMessage(std::string text, LogFlag flag = LogFlag::Info) {
    return LogMessage{flag, Clock::shared().now(), "DiagTest", "run", 7, std::move(text)};
}

}  // namespace pagewell
