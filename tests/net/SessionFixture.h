#pragma once
// The login session's test environment: a data directory of its own with settings, user
// defaults, a file keychain and a store; a manual clock; a scripted presenter; a fresh main
// queue; a log sink that keeps every line; an application configuration pointing at `cmsUrl`.
// startServer() runs pagewell-cms in-process on a loopback port chosen by the system, with the
// small test catalogue (users "demo"/"demo" and "other"/"pw2"). TearDown puts every shared
// instance back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "NetFixture.h"
#include "TestCatalogue.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "cms/CmsServer.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace pagewell::test {

inline constexpr const char* kSessionAppSecret = "session-app-secret";

// The session tests' name for the sink that keeps every line.
using KeepingLogSink = CapturingLogSink;

class SessionFixture : public NetFixture {
  protected:
    void SetUp() override {
        clock_ = std::make_shared<ManualClock>();
        Clock::setShared(clock_);
        setUpEnvironment();
        if (HasFatalFailure()) {
            return;
        }
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
        tearDownEnvironment();
        Clock::setShared(nullptr);
    }

    void useServer(const std::string& cmsUrl) {
        writeAppConfiguration(cmsUrl, kSessionAppSecret);
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

    std::shared_ptr<ManualClock> clock_;
    std::unique_ptr<cms::CmsServer> server_;
};

}  // namespace pagewell::test
