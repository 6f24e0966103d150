#pragma once
// Helpers of the side-entity tests: deletion hooks that record what they were asked, a file
// written into the data area with the stored (relative) path pointing at it, and a fixed clock.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "store/StoreFixture.h"
#include "store/StoreHooks.h"
#include "store/StoredPath.h"

namespace pagewell {

class RecordingAnnotationSets final : public AnnotationSets {
  public:
    void removeAnnotationSet(const std::string& identifier) override {
        std::lock_guard lock(mutex_);
        removed_.push_back(identifier);
    }
    std::vector<std::string> removed() {
        std::lock_guard lock(mutex_);
        return removed_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> removed_;  // guarded by mutex_
};

class RecordingReminders final : public PendingReminders {
  public:
    void withdrawReminder(const std::string& identifier) override {
        std::lock_guard lock(mutex_);
        withdrawn_.push_back(identifier);
    }
    std::vector<std::string> withdrawn() {
        std::lock_guard lock(mutex_);
        return withdrawn_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> withdrawn_;  // guarded by mutex_
};

class SideEntityTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        Clock::setShared(clock_);
        StoreHooks::setAnnotationSets(annotations_);
        StoreHooks::setPendingReminders(reminders_);
    }
    void TearDown() override {
        Clock::setShared(nullptr);
        StoreFixture::TearDown();
    }

    // Writes `name` below the documents area and gives its stored form ("/Documents/...").
    std::string writeStoredFile(const std::string& name, const std::string& content = "image") {
        std::filesystem::path absolute = areas_->documents() / name;
        std::filesystem::create_directories(absolute.parent_path());
        EXPECT_TRUE(FileSystem::writeFileAtomically(absolute, content).ok());
        return StoredPath::getRelativePath(absolute.string(), *areas_);
    }
    std::filesystem::path absolute(const std::string& stored) const {
        return StoredPath::getAbsolutePath(stored, *areas_);
    }
    bool exists(const std::string& stored) const {
        return std::filesystem::exists(absolute(stored));
    }

    std::int64_t insertFile(std::int64_t cmsID, const std::string& title) {
        return insertRow("INSERT INTO File (cmsID, title) VALUES (?, ?)", cmsID, title);
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    std::shared_ptr<RecordingAnnotationSets> annotations_ =
        std::make_shared<RecordingAnnotationSets>();
    std::shared_ptr<RecordingReminders> reminders_ = std::make_shared<RecordingReminders>();
};

}  // namespace pagewell
