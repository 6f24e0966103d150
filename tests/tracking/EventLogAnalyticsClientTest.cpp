#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Clock.h"
#include "tracking/EventLogAnalyticsClient.h"
#include "tracking/TrackingOptInHelper.h"

namespace pagewell {
namespace {

std::vector<nlohmann::json> readLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<nlohmann::json> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

class EventLogAnalyticsClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock->set(std::chrono::system_clock::time_point(std::chrono::milliseconds(1796947200123)));
        Clock::setShared(clock);
    }
    void TearDown() override { Clock::setShared(nullptr); }
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    TemporaryDirectory dir;
};

TEST_F(EventLogAnalyticsClientTest, WritesOneOwnerOnlyJsonLinePerCall) {
    const auto file = dir.path() / "Library" / "Tracking" / "events.jsonl";
    EventLogAnalyticsClient client(file);
    client.record("countly", {{"key", "docOpen"}, {"count", 1}});
    client.record("google", {{"hit", "screenview"}, {"&cd", "Shelf \"A\"\n"}});
    auto lines = readLines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (nlohmann::json{{"time", "2026-12-11T00:00:00.123Z"},
                                        {"service", "countly"},
                                        {"key", "docOpen"},
                                        {"count", 1}}));
    EXPECT_EQ(lines[1]["&cd"], "Shelf \"A\"\n");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(client.lastError());
}

TEST_F(EventLogAnalyticsClientTest, RotatesAtTheSizeLimitKeepingEveryLine) {
    const auto file = dir.path() / "events.jsonl";
    EventLogAnalyticsClient client(file);
    const std::string label(1000, 'x');
    const int count = 2200;  // a little over two megabytes in all
    for (int i = 0; i < count; ++i)
        client.record("countly", {{"i", i}, {"label", label}});
    auto current = readLines(file);
    auto rotated = readLines(std::filesystem::path(file.string() + ".1"));
    EXPECT_LE(std::filesystem::file_size(file), EventLogAnalyticsClient::kRotateBytes);
    EXPECT_LE(std::filesystem::file_size(file.string() + ".1"),
              EventLogAnalyticsClient::kRotateBytes);
    ASSERT_FALSE(current.empty());
    ASSERT_FALSE(rotated.empty());
    // The newest lines are in the current log, continuing where the rotated one ends.
    EXPECT_EQ(current.back()["i"], count - 1);
    EXPECT_EQ(rotated.back()["i"].get<int>() + 1, current.front()["i"].get<int>());
}

TEST_F(EventLogAnalyticsClientTest, UnwritableLogIsReportedNotThrown) {
    const auto blocker = dir.path() / "blocker";
    std::ofstream(blocker) << "a file where the folder should be";
    EventLogAnalyticsClient client(blocker / "events.jsonl");
    client.record("google", {{"hit", "event"}});
    EXPECT_TRUE(client.lastError().has_value());
}

TEST(TrackingOptInHelperTest, ConsentIsOnlyEverGivenExplicitly) {
    TemporaryDirectory dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "defaults.plist");
    TrackingOptInHelper helper(*defaults);
    EXPECT_FALSE(helper.questionAnswered());
    EXPECT_FALSE(helper.trackingAccepted());
    // An accepted flag without the question answered (damaged or hand-edited defaults) is not
    // consent.
    ASSERT_TRUE(defaults->set(TrackingOptInHelper::kAcceptedKey, PlistValue(true)));
    EXPECT_FALSE(helper.trackingAccepted());
    ASSERT_TRUE(helper.setTrackingAccepted(false));
    EXPECT_TRUE(helper.questionAnswered());
    EXPECT_FALSE(helper.trackingAccepted());
    ASSERT_TRUE(helper.setTrackingAccepted(true));
    // The answer survives a new process.
    UserDefaults reopened(dir.path() / "defaults.plist");
    EXPECT_TRUE(TrackingOptInHelper(reopened).trackingAccepted());
}

}  // namespace
}  // namespace pagewell
