#include "store/ServerDate.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace pagewell {
namespace {

using std::chrono::seconds;

// Zones as POSIX rules, so the tests need no time-zone database.
constexpr const char* kUtc = "UTC0";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

SystemTime at(long long secondsSinceEpoch) {
    return SystemTime{seconds{secondsSinceEpoch}};
}

// Sets the process time zone for one test and puts the previous one back.
class ServerDateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            savedZone_ = tz;
        }
    }
    void TearDown() override {
        if (savedZone_) {
            ::setenv("TZ", savedZone_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    static void useZone(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

    std::optional<std::string> savedZone_;
};

TEST_F(ServerDateTest, TextIsReadAsLocalWallTimeIncludingDaylightSaving) {
    const struct {
        const char* zone;
        const char* text;
        long long expected;
    } cases[] = {
        {kUtc, "2024-01-15 10:30:00", 1705314600},
        {kBerlin, "2024-01-15 10:30:00", 1705311000},   // CET, UTC+1
        {kNewYork, "2024-01-15 10:30:00", 1705332600},  // EST, UTC-5
        {kBerlin, "2024-07-01 12:00:00", 1719828000},   // CEST, UTC+2
        {kNewYork, "2024-07-01 12:00:00", 1719849600},  // EDT, UTC-4
        {kUtc, "2024-02-29 00:00:00", 1709164800},      // leap day
        // mktime's failure value is also this valid second; it must not be taken for failure.
        {kUtc, "1969-12-31 23:59:59", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.text);
        useZone(c.zone);
        EXPECT_EQ(ServerDate::parse(std::string(c.text)), at(c.expected));
    }
}

TEST_F(ServerDateTest, TextNotInTheServerFormGivesNoDate) {
    useZone(kUtc);
    const char* cases[] = {
        "",
        "2024-01-15",
        "2024-01-15T10:30:00",   // ISO separator
        "2024-01-15 10:30:00Z",  // trailing zone
        "2024-01-15 10:30",
        " 2024-01-15 10:30:00",
        "2024-1-15 10:30:00",
        "2024/01/15 10:30:00",
        "2024-01-15 10:30:0x",
        "2024-13-01 00:00:00",
        "2024-00-10 00:00:00",
        "2024-01-00 00:00:00",
        "2024-02-30 00:00:00",
        "2023-02-29 00:00:00",  // not a leap year
        "2024-04-31 00:00:00",
        "2024-01-15 24:00:00",
        "2024-01-15 10:60:00",
        "2024-01-15 10:30:60",
        "+024-01-15 10:30:00",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ServerDate::parse(std::string(text)), std::nullopt);
    }
}

TEST_F(ServerDateTest, JsonValuesAndKeys) {
    useZone(kBerlin);
    const auto record = nlohmann::json::parse(R"({
        "time_modified": "2024-01-15 10:30:00",
        "created": null,
        "publish_end": "",
        "size": 1705311000
    })");
    EXPECT_EQ(ServerDate::parse(record["time_modified"]), at(1705311000));
    EXPECT_EQ(ServerDate::parseJson(record["time_modified"]), at(1705311000));
    EXPECT_EQ(ServerDate::parseJson(record, "time_modified"), at(1705311000));
    EXPECT_EQ(ServerDate::parse(record["created"]), std::nullopt);
    EXPECT_EQ(ServerDate::parse(record, "time_modified"), at(1705311000));
    EXPECT_EQ(ServerDate::parse(record, "created"), std::nullopt);
    EXPECT_EQ(ServerDate::parse(record, "publish_end"), std::nullopt);
    EXPECT_EQ(ServerDate::parse(record, "size"), std::nullopt);  // a number is not a date
    EXPECT_EQ(ServerDate::parse(record, "absent"), std::nullopt);
    EXPECT_EQ(ServerDate::parse(nlohmann::json::array(), "time_modified"), std::nullopt);
}

TEST_F(ServerDateTest, FormatWritesLocalWallTimeAndReadsBack) {
    const struct {
        const char* zone;
        long long time;
        const char* expected;
    } cases[] = {
        {kUtc, 1700000000, "2023-11-14 22:13:20"},     {kBerlin, 1700000000, "2023-11-14 23:13:20"},
        {kNewYork, 1700000000, "2023-11-14 17:13:20"}, {kBerlin, 1719828000, "2024-07-01 12:00:00"},
        {kNewYork, 1719849600, "2024-07-01 12:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.expected);
        useZone(c.zone);
        EXPECT_EQ(ServerDate::format(at(c.time)), c.expected);
        EXPECT_EQ(ServerDate::parse(std::string(c.expected)), at(c.time));
    }
}

TEST_F(ServerDateTest, FormatDropsFractionsOfASecondTowardsThePast) {
    useZone(kUtc);
    EXPECT_EQ(ServerDate::format(at(1) + std::chrono::milliseconds(900)), "1970-01-01 00:00:01");
    EXPECT_EQ(ServerDate::format(at(0) - std::chrono::milliseconds(500)), "1969-12-31 23:59:59");
}

}  // namespace
}  // namespace pagewell
