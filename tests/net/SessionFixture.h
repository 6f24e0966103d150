#pragma once
// The login session's test environment: a data directory of its own with settings, user
// defaults, a file keychain and a store; a manual clock; a scripted presenter; a fresh main
// queue; a log sink that keeps every line; an application configuration pointing at `cmsUrl`.
// startServer() runs pagewell-cms in-process on a loopback port chosen by the system, with the
// small test catalogue (users "demo"/"demo" and "other"/"pw2"). TearDown puts every shared
// instance back.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScriptedPresenter.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "app/AppSettings.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "cms/CmsServer.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "net/LoginManager.h"
#include "platform/Clock.h"
#include "platform/FileAreas.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/PersistentStore.h"

namespace pagewell::test {

inline constexpr const char* kSessionAppSecret = "session-app-secret";

class KeepingLogSink final : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(message.message);
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& text) const {
        for (const std::string& line : lines()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
};

class SessionFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        MainQueue::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
        clock_ = std::make_shared<ManualClock>();
        Clock::setShared(clock_);
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
        logs_ = std::make_shared<KeepingLogSink>();
        Logger::shared().addSink(logs_);
        CurrentSelection::clear();
        LoginManager::setShared(nullptr);
        // Nothing listens here until startServer() points the configuration at a server.
        useServer("http://127.0.0.1:1");
    }

    void TearDown() override {
        InterfaceManager::setShared(nullptr);
        LoginManager::setShared(nullptr);
        MainQueue::shared().poll();
        server_.reset();
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
        Clock::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
        MainQueue::setShared(nullptr);
    }

    void useServer(const std::string& cmsUrl) {
        const auto file = dir_.path() / "AppSettings.plist";
        ASSERT_TRUE(PropertyList::writeFile(
                        file.string(), PlistValue(PlistDict{{"CMSURL", cmsUrl},
                                                            {"LoginSecret", kSessionAppSecret}}))
                        .ok());
        AppSettings::_setSettingsPath(file);
        InterfaceManager::setShared(
            std::make_shared<InterfaceManager>(InterfaceManager::defaultBaseURL()));
    }

    void startServer() {
        std::filesystem::path catalogue = dir_.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue);
        cms::CmsServerOptions options;
        options.catalogue = catalogue;
        options.appSecret = kSessionAppSecret;
        options.tokenLifetime = std::chrono::hours(24);
        auto created = cms::CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        auto port = server_->start();
        ASSERT_TRUE(port.ok()) << port.error().description;
        useServer(server_->baseUrl());
    }

    // Stops the server: later requests meet a closed port (a network error).
    void stopServer() {
        std::string url = server_->baseUrl();
        server_.reset();
        useServer(url);
    }

    void setOfflineMode(bool on) {
        ASSERT_TRUE(SettingsManager::sharedInstance()
                        .writeSettingInGroup(settings::kOfflineGroup, settings::kOfflineMode, on)
                        .ok());
    }
    bool offlineMode() const { return InterfaceManager::sharedInstance().isInOfflineMode(); }

    StoreContext& main() { return store_->mainContext(); }

    // Pumps the main queue until `done` holds; false after a bounded real-time wait.
    static bool pumpUntil(const std::function<bool()>& done) {
        return MainQueue::shared().runUntil(done, std::chrono::seconds(20));
    }

    // Pumps until the latest alert is open; its id, or 0.
    Presenter::AlertId waitForAlert(std::size_t count) {
        pumpUntil([&] { return presenter_->shown.size() >= count; });
        return presenter_->shown.size() >= count ? presenter_->shown[count - 1].id : 0;
    }

    TemporaryDirectory dir_;
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<FileAreas> areas_;
    std::shared_ptr<KeychainBridge> keychain_;
    std::shared_ptr<PersistentStore> store_;
    std::shared_ptr<ScriptedPresenter> presenter_;
    std::shared_ptr<KeepingLogSink> logs_;
    std::unique_ptr<cms::CmsServer> server_;
};

}  // namespace pagewell::test
