#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "tracking/CountlyTracker.h"
#include "tracking/TrackEvent.h"
#include "tracking/TrackingManager.h"

namespace pagewell {
namespace {

class RecordingClient : public AnalyticsClient {
  public:
    void record(const std::string& service, const nlohmann::json& fields) override {
        std::lock_guard lock(mutex);
        calls.emplace_back(service, fields);
    }
    std::mutex mutex;
    std::vector<std::pair<std::string, nlohmann::json>> calls;
};

class TrackingManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        manager.configure(
            client, [this] { return consent; }, [] { return std::string("Deutsch"); }, false);
    }
    std::shared_ptr<RecordingClient> client = std::make_shared<RecordingClient>();
    bool consent = true;
    TrackingManager manager;
};

const nlohmann::json kBothServices = {
    {"countly", {{"apiKey", "ck-123"}, {"url", "https://analytics.example.net"}}},
    {"google", {{"apiKey", "UA-1"}}}};

TEST_F(TrackingManagerTest, WithoutConsentNoServiceReceivesAnything) {
    consent = false;
    manager.setupTrackingWithConfigDict(kBothServices);
    ASSERT_TRUE(manager.trackingEnabled());
    manager.shouldTrackEvent(TrackEvent(1, "login", std::nullopt, "PLX"));
    EXPECT_TRUE(client->calls.empty());
}

TEST_F(TrackingManagerTest, ServicesReceiveExactlyTheirFields) {
    struct Case {
        int type;
        const char* action;
        const char* category;
    };
    const Case cases[] = {{1, "login", "Login"},         {2, "logout", "Logout"},
                          {3, "docOpen", "Deutsch"},     {4, "docDownload", "Deutsch"},
                          {5, "docFavorite", "Deutsch"}, {6, "docShare", "Deutsch"},
                          {7, "unknown", "unknown"},     {0, "unknown", "unknown"}};
    manager.setupTrackingWithConfigDict(kBothServices);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        client->calls.clear();
        manager.shouldTrackEvent(
            TrackEvent(c.type, "ID - 42, Title - Guide", std::nullopt, "Shelf"));
        // Trackers run in the order they were added: countly first, then google's two calls.
        ASSERT_EQ(client->calls.size(), 3u);
        EXPECT_EQ(client->calls[0].first, "countly");
        EXPECT_EQ(client->calls[0].second,
                  (nlohmann::json{{"key", c.action},
                                  {"count", 1},
                                  {"segmentation", {{c.category, "ID - 42, Title - Guide"}}}}));
        EXPECT_EQ(client->calls[0].second["segmentation"].size(), 1u);
        EXPECT_EQ(client->calls[1].second,
                  (nlohmann::json{{"hit", "screenview"}, {"&cd", "Shelf"}}));
        EXPECT_EQ(client->calls[2].second, (nlohmann::json{{"hit", "event"},
                                                           {"category", c.category},
                                                           {"action", c.action},
                                                           {"label", "ID - 42, Title - Guide"},
                                                           {"value", nullptr}}));
        // No service key, user or device detail travels with an event.
        for (const auto& call : client->calls) {
            EXPECT_EQ(call.second.dump().find("UA-1"), std::string::npos);
            EXPECT_EQ(call.second.dump().find("ck-123"), std::string::npos);
        }
    }
}

TEST_F(TrackingManagerTest, GoogleOnlyConfigurationUsesTheLocaleTitle) {
    manager.setupTrackingWithConfigDict({{"google", {{"apiKey", "UA-1"}}}});
    ASSERT_EQ(manager.trackers().size(), 1u);
    manager.shouldTrackEvent(TrackEvent(4, "ID - 1, Title - A", std::nullopt, "SyncView"));
    ASSERT_EQ(client->calls.size(), 2u);
    EXPECT_EQ(client->calls[1].first, "google");
    EXPECT_EQ(client->calls[1].second["category"], "Deutsch");
    EXPECT_EQ(client->calls[1].second["action"], "docDownload");
}

TEST_F(TrackingManagerTest, RepeatedSetUpReplacesTrackersInsteadOfDoublingEvents) {
    manager.setupTrackingWithConfigDict(kBothServices);
    manager.setupTrackingWithConfigDict(kBothServices);
    manager.setupTrackingWithConfigDict({{"google", {{"apiKey", "UA-2"}}}});
    ASSERT_EQ(manager.trackers().size(), 2u);
    manager.shouldTrackEvent(TrackEvent(1, "login", std::nullopt, "PLX"));
    EXPECT_EQ(client->calls.size(), 3u);
}

TEST_F(TrackingManagerTest, MalformedOrUnsafeEntriesAreSkippedAndDisableTracking) {
    const nlohmann::json configs[] = {
        nlohmann::json::object(),
        {{"countly", "https://x"}, {"google", 5}},
        {{"countly", {{"apiKey", "k"}, {"url", "http://analytics.example.net"}}}},
        {{"countly", {{"url", "https://analytics.example.net"}}}},
        {{"google", {{"apiKey", 17}}}},
        nlohmann::json::array()};
    for (const auto& config : configs) {
        SCOPED_TRACE(config.dump());
        manager.reset();
        SetUp();
        manager.setupTrackingWithConfigDict(config);
        EXPECT_FALSE(manager.trackingEnabled());
        EXPECT_TRUE(manager.trackers().empty());
        manager.shouldTrackEvent(TrackEvent(1, "login", std::nullopt, "PLX"));
        EXPECT_TRUE(client->calls.empty());
    }
}

TEST_F(TrackingManagerTest,
       ShippedAppAnalyticsConfigurationAddsItsTrackerButEnablesOnlyWithAService) {
    manager.configure(
        client, [] { return true; }, [] { return std::string("English"); }, true);
    manager.setupTrackingWithConfigDict(nlohmann::json::object());
    EXPECT_FALSE(manager.trackingEnabled());
    ASSERT_EQ(manager.trackers().size(), 1u);
    manager.shouldTrackEvent(TrackEvent(3, "L", std::nullopt, "S"));
    EXPECT_TRUE(client->calls.empty());

    manager.setupFirebaseTracking();
    EXPECT_TRUE(manager.trackingEnabled());
    EXPECT_EQ(manager.trackers().size(), 1u);
    manager.shouldTrackEvent(TrackEvent(3, "L", std::nullopt, "S"));
    ASSERT_EQ(client->calls.size(), 1u);
    EXPECT_EQ(client->calls[0].first, "firebase");
    EXPECT_EQ(client->calls[0].second,
              (nlohmann::json{{"name", "docOpen"},
                              {"parameters", {{"locale", "English"}, {"label", "L"}}}}));
}

TEST(TrackEventTest, DescriptionAndHosts) {
    EXPECT_EQ(TrackEvent(2, "logout", std::nullopt, "PLX").description(),
              "screen: PLX, type: logout, label: logout, value: (null)");
    const std::pair<const char*, bool> hosts[] = {{"https://a.example", true},
                                                  {"HTTPS://a.example/x", true},
                                                  {"http://127.0.0.1:8080", true},
                                                  {"http://localhost/", true},
                                                  {"http://[::1]:9/", true},
                                                  {"http://a.example", false},
                                                  {"http://localhost.evil.example", false},
                                                  {"http://127.0.0.1@evil.example", false},
                                                  {"ftp://a.example", false},
                                                  {"https://", false},
                                                  {"", false}};
    for (const auto& [url, ok] : hosts)
        EXPECT_EQ(CountlyTracker::isAcceptableHost(url), ok) << url;
}

}  // namespace
}  // namespace pagewell
