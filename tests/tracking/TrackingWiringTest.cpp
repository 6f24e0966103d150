#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/AppWiring.h"
#include "net/EndpointDelegates.h"
#include "net/LoginManager.h"
#include "platform/FileAreas.h"
#include "platform/UserDefaults.h"
#include "sync/SyncManager.h"
#include "tracking/TrackingManager.h"
#include "tracking/TrackingOptInHelper.h"

namespace pagewell {
namespace {

class TrackingWiringTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FileAreas::setShared(std::make_shared<FileAreas>(dir.path()));
        UserDefaults::setShared(std::make_shared<UserDefaults>(dir.path() / "defaults.plist"));
        TrackingManager::sharedInstance().reset();
        AppWiring::installTracking();
    }
    void TearDown() override {
        TrackingManager::sharedInstance().reset();
        EndpointDelegates::shared().setTracking(nullptr);
        UserDefaults::setShared(nullptr);
        FileAreas::setShared(nullptr);
    }
    std::vector<nlohmann::json> events() const {
        std::ifstream in(dir.path() / "Library" / "Tracking" / "events.jsonl");
        std::vector<nlohmann::json> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(nlohmann::json::parse(line));
        return lines;
    }
    TemporaryDirectory dir;
};

TEST_F(TrackingWiringTest, SessionAndSyncEventsReachTheEventLogOnlyWithConsent) {
    EXPECT_EQ(EndpointDelegates::shared().tracking().get(), &TrackingManager::sharedInstance());
    EndpointDelegates::shared().tracking()->setupTrackingWithConfigDict(
        {{"google", {{"apiKey", "UA-secret-id"}}}});
    const auto& loginHook = LoginManager::shared().hooks().trackEvent;
    const auto& syncHook = SyncManager::sharedInstance().hooks().trackEvent;
    ASSERT_TRUE(loginHook);
    ASSERT_TRUE(syncHook);

    loginHook(2, "logout", "PLX");
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Library" / "Tracking"));

    ASSERT_TRUE(TrackingOptInHelper(UserDefaults::shared()).setTrackingAccepted(true));
    loginHook(2, "logout", "PLX");
    syncHook(4, "ID - 7, Title - Manual", "SyncView");
    auto lines = events();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1]["category"], "Logout");
    EXPECT_EQ(lines[3]["action"], "docDownload");
    EXPECT_EQ(lines[3]["label"], "ID - 7, Title - Manual");
    for (const auto& line : lines) {
        EXPECT_EQ(line["service"], "google");
        EXPECT_EQ(line.dump().find("UA-secret-id"), std::string::npos);
    }
}

}  // namespace
}  // namespace pagewell
