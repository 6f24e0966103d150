#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "TestSupport.h"
#include "platform/DataDirectoryLock.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

class CliTest : public ::testing::Test {
  protected:
    std::filesystem::path data() const { return home.path() / "data"; }
    std::filesystem::path liveSettings() const { return data() / "Documents" / "Default.plist"; }
    CliRun run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        return runPagewell(data(), args, env);
    }
    TemporaryDirectory home;
};

TEST_F(CliTest, VersionAndUsageErrors) {
    auto version = runPagewell({}, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("pagewell ") + PAGEWELL_VERSION + "\n");

    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(run({"settings", "set", "SYNC_SETTINGS"}).exitCode, 2);
    EXPECT_EQ(run({"--yes", "--no", "paths"}).exitCode, 2);
}

TEST_F(CliTest, PathsAnswersWithoutCreatingAnything) {
    auto paths = run({"--json", "paths"});
    ASSERT_EQ(paths.exitCode, 0) << paths.err;
    auto document = nlohmann::json::parse(paths.out);
    EXPECT_EQ(document["data"], data().string());
    EXPECT_EQ(document["logs"], (data() / "Library" / "Logs").string());
    EXPECT_EQ(document["settings"], liveSettings().string());
    EXPECT_TRUE(document["configurationFound"].get<bool>());
    EXPECT_FALSE(std::filesystem::exists(data()));
}

TEST_F(CliTest, SetThenGetPersistsTheValueOwnerOnly) {
    auto set = run({"settings", "set", "SYNC_SETTINGS", "SYNC_INTERVAL", "30"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    auto get = run({"settings", "get", "SYNC_SETTINGS", "SYNC_INTERVAL"});
    EXPECT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out, "30\n");

    ASSERT_EQ(run({"settings", "set", "SYNC_SETTINGS", "AUTO_SYNC", "off"}).exitCode, 0);
    EXPECT_EQ(run({"settings", "get", "SYNC_SETTINGS", "AUTO_SYNC"}).out, "false\n");

    auto json = nlohmann::json::parse(
        run({"--json", "settings", "get", "SYNC_SETTINGS", "SYNC_INTERVAL"}).out);
    EXPECT_EQ(json["value"].get<double>(), 30.0);
    EXPECT_EQ(json["type"], "stepper");

    struct stat info {};
    ASSERT_EQ(::stat(liveSettings().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(data().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(CliTest, StepperAndSwitchValuesAtTheEdgesOfTheirRanges) {
    struct Case {
        const char* group;
        const char* key;
        const char* value;
        const char* shown;  // nullptr: must be refused
    };
    const Case cases[] = {
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "5", "5"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "120", "120"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "4", nullptr},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "121", nullptr},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "ten", nullptr},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "7.5", nullptr},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "1", "1"},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "30", "30"},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "0", nullptr},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "31", nullptr},
        {"LOG", "LOG_HTTP_TRAFFIC", "true", "true"},
        {"LOG", "LOG_HTTP_TRAFFIC", "maybe", nullptr},
        {"NO_SUCH_GROUP", "SYNC_INTERVAL", "30", nullptr},
        {"SYNC_SETTINGS", "NO_SUCH_KEY", "30", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.group) + " " + c.key + " " + c.value);
        auto before = run({"settings", "get", c.group, c.key});
        auto set = run({"settings", "set", c.group, c.key, c.value});
        auto after = run({"settings", "get", c.group, c.key});
        if (c.shown) {
            EXPECT_EQ(set.exitCode, 0) << set.err;
            EXPECT_EQ(after.out, std::string(c.shown) + "\n");
        } else {
            EXPECT_EQ(set.exitCode, 1);
            EXPECT_FALSE(set.err.empty());
            EXPECT_EQ(after.out, before.out);
        }
    }
}

TEST_F(CliTest, AWriterWaitsForTheDataDirectoryLockThenGivesUpWithExitCode6) {
    ASSERT_EQ(run({"settings", "get", "SYNC_SETTINGS", "SYNC_INTERVAL"}).exitCode, 0);
    auto held = DataDirectoryLock::acquire(data() / ".lock", std::chrono::milliseconds(0));
    ASSERT_TRUE(held.ok());

    auto set = run({"settings", "set", "SYNC_SETTINGS", "SYNC_INTERVAL", "60"},
                   {"PAGEWELL_LOCK_WAIT_MS=100"});
    EXPECT_EQ(set.exitCode, 6);
    EXPECT_NE(set.err.find("another pagewell process"), std::string::npos) << set.err;
    // Reading needs no lock.
    EXPECT_EQ(run({"settings", "get", "SYNC_SETTINGS", "SYNC_INTERVAL"}).exitCode, 0);
}

TEST_F(CliTest, ACorruptSettingsFileIsReportedAndLeftAlone) {
    ASSERT_EQ(run({"settings", "list"}).exitCode, 0);
    const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>Groups";
    ASSERT_TRUE(FileSystem::writeFileAtomically(liveSettings(), garbage).ok());

    for (auto args :
         {std::vector<std::string>{"settings", "list"},
          std::vector<std::string>{"settings", "get", "SYNC_SETTINGS", "AUTO_SYNC"},
          std::vector<std::string>{"settings", "set", "SYNC_SETTINGS", "AUTO_SYNC", "true"}}) {
        auto result = run(args);
        EXPECT_EQ(result.exitCode, 1) << args.back();
        EXPECT_NE(result.err.find("settings"), std::string::npos) << result.err;
    }
    EXPECT_EQ(FileSystem::readFile(liveSettings()).value(), garbage);
}

TEST_F(CliTest, UnusableDataDirectoryOrMissingShippedFilesGiveClearErrors) {
    // A data directory below a plain file cannot be created (permission bits would not stop
    // a test running as root).
    ASSERT_TRUE(FileSystem::writeFileAtomically(home.path() / "file", "x").ok());
    auto blocked = runPagewell(home.path() / "file" / "data", {"settings", "list"});
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_NE(blocked.err.find("data directory"), std::string::npos) << blocked.err;

    auto noDefaults =
        run({"settings", "list"}, {"PAGEWELL_DATA_FILES=" + (home.path() / "none").string()});
    EXPECT_EQ(noDefaults.exitCode, 1);
    EXPECT_FALSE(noDefaults.err.empty());
}

TEST_F(CliTest, VerboseEchoesTheLogOnStderrAndTheLogFileIsOwnerOnly) {
    auto quiet = run({"settings", "get", "LOG", "LOG_HTTP_TRAFFIC"});
    EXPECT_EQ(quiet.err, "");
    auto verbose = run({"-v", "settings", "get", "LOG", "LOG_HTTP_TRAFFIC"});
    EXPECT_NE(verbose.err.find("[I][Application "), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.out, "false\n");

    int logFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data() / "Library" / "Logs")) {
        struct stat info {};
        ASSERT_EQ(::stat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        ++logFiles;
    }
    EXPECT_GE(logFiles, 1);
}

TEST_F(CliTest, SettingsListShowsVisibleGroupsWithoutTracking) {
    auto list = run({"--json", "settings", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    auto document = nlohmann::json::parse(list.out);
    std::vector<std::string> keys;
    for (const auto& group : document["groups"]) {
        keys.push_back(group["key"]);
    }
    EXPECT_NE(std::find(keys.begin(), keys.end(), "SYNC_SETTINGS"), keys.end());
    EXPECT_EQ(std::find(keys.begin(), keys.end(), "TRACKING_SETTINGS"), keys.end());

    auto text = run({"settings", "list"});
    EXPECT_NE(text.out.find("SYNC_INTERVAL"), std::string::npos);
}

}  // namespace
}  // namespace pagewell
