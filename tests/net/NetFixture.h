#pragma once
// What the request layer's and the login session's test environments share: a data directory
// of its own with settings, user defaults, a file keychain and a store, a scripted presenter, a
// fresh main queue and notification center, a log sink that keeps every line, and an
// application configuration file. A fixture calls setUpEnvironment() in its SetUp before its
// own set-up, and tearDownEnvironment() last in its TearDown, which puts every shared instance
// set here back.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScriptedPresenter.h"
#include "TestSupport.h"
#include "app/AppSettings.h"
#include "app/SettingsManager.h"
#include "net/KeychainBridge.h"
#include "platform/FileAreas.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/PersistentStore.h"

namespace pagewell::test {

// Keeps every log line.
class CapturingLogSink final : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(message.message);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // How many lines contain `text`.
    int count(const std::string& text) const {
        int n = 0;
        for (const auto& line : lines()) {
            n += line.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }
    bool contains(const std::string& text) const { return count(text) > 0; }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
};

class NetFixture : public ::testing::Test {
  protected:
    void setUpEnvironment() {
        MainQueue::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
        areas_ = std::make_shared<FileAreas>(dir_.path() / "data");
        ASSERT_TRUE(areas_->createAll().ok());
        FileAreas::setShared(areas_);
        UserDefaults::setShared(std::make_shared<UserDefaults>(areas_->userDefaultsFile()));
        SettingsManager::setSharedInstance(std::make_shared<SettingsManager>(
            areas_->documents(),
            std::filesystem::path(PAGEWELL_SHIPPED_DATA_DIR) / "DefaultSettings.plist"));
        keychain_ = std::make_shared<KeychainBridge>(KeychainBridge::Backend::File,
                                                     dir_.path() / "keychain.json");
        KeychainBridge::setShared(keychain_);
        auto store = PersistentStore::open(areas_->dataDirectory() / "Library" / "Database" /
                                           PersistentStore::kFileName);
        ASSERT_TRUE(store.ok()) << store.error().description;
        store_ = store.value();
        PersistentStore::setShared(store_);
        presenter_ = std::make_shared<ScriptedPresenter>();
        Presenter::setShared(presenter_);
        logs_ = std::make_shared<CapturingLogSink>();
        Logger::shared().addSink(logs_);
    }

    void tearDownEnvironment() {
        Logger::shared().removeSink(logs_);
        Presenter::setShared(nullptr);
        CurrentSelection::clear();
        PersistentStore::setShared(nullptr);
        store_.reset();
        KeychainBridge::setShared(nullptr);
        SettingsManager::setSharedInstance(nullptr);
        UserDefaults::setShared(nullptr);
        FileAreas::setShared(nullptr);
        AppSettings::_setSettingsPath({});
        NotificationCenter::setShared(nullptr);
        MainQueue::setShared(nullptr);
    }

    // Points the application configuration at `cmsUrl` with `loginSecret`.
    void writeAppConfiguration(const std::string& cmsUrl, const std::string& loginSecret) {
        const auto file = dir_.path() / "AppSettings.plist";
        ASSERT_TRUE(PropertyList::writeFile(
                        file.string(),
                        PlistValue(PlistDict{{"CMSURL", cmsUrl}, {"LoginSecret", loginSecret}}))
                        .ok());
        AppSettings::_setSettingsPath(file);
    }

    TemporaryDirectory dir_;
    std::shared_ptr<FileAreas> areas_;
    std::shared_ptr<KeychainBridge> keychain_;
    std::shared_ptr<PersistentStore> store_;
    std::shared_ptr<ScriptedPresenter> presenter_;
    std::shared_ptr<CapturingLogSink> logs_;
};

}  // namespace pagewell::test
