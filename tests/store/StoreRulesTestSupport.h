#pragma once
// Fixtures for the store's file rules: a data directory of its own, installed as the shared
// areas and protected file manager, and the log lines written meanwhile.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/FileAreas.h"
#include "platform/Logger.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

class CapturingLogSink final : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    std::vector<LogMessage> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    bool contains(const std::string& text) {
        std::lock_guard lock(mutex_);
        return std::any_of(messages_.begin(), messages_.end(), [&](const LogMessage& message) {
            return message.message.find(text) != std::string::npos;
        });
    }

  private:
    std::mutex mutex_;
    std::vector<LogMessage> messages_;  // guarded by mutex_
};

class SharedAreasTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(areas_->createAll().ok());
        FileAreas::setShared(areas_);
        VXProtectedFileManager::setSharedInstance(
            std::make_shared<VXProtectedFileManager>(*areas_));
        Logger::shared().addSink(log_);
    }
    void TearDown() override {
        Logger::shared().removeSink(log_);
        VXProtectedFileManager::setSharedInstance(nullptr);
        FileAreas::setShared(nullptr);
    }

    TemporaryDirectory dir_;
    std::shared_ptr<FileAreas> areas_ = std::make_shared<FileAreas>(dir_.path() / "data");
    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
};

}  // namespace pagewell
