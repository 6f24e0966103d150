#include "app/SettingsManager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>

#include "SettingsFixtures.h"
#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {
namespace {

using namespace testing_settings;

class CapturingSink : public LogSink {
  public:
    void write(const LogMessage& message) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }
    std::vector<std::string> errors() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        for (const auto& m : messages_) {
            if (m.flag == LogFlag::Error) {
                result.push_back(m.message);
            }
        }
        return result;
    }

  private:
    std::mutex mutex_;
    std::vector<LogMessage> messages_;
};

// A documents directory and a shipped defaults file that each test writes to its liking.
class SettingsManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        documents_ = dir_.path() / "Documents";
        shipped_ = dir_.path() / "DefaultSettings.plist";
        Logger::shared().addSink(sink_);
    }
    void TearDown() override { Logger::shared().removeSink(sink_); }

    std::unique_ptr<SettingsManager> open(SettingsManager::FileWriter writer = {}) {
        return std::make_unique<SettingsManager>(documents_, shipped_, std::move(writer));
    }
    std::filesystem::path live() const { return documents_ / "Default.plist"; }
    std::filesystem::path snapshot() const { return documents_ / "Default.plist.orig"; }
    std::string bytes(const std::filesystem::path& path) const {
        return FileSystem::readFile(path).valueOr("<missing>");
    }
    void ship(const PlistValue& value) { writePlist(shipped_, value); }

    // The first release: sync settings and one log switch.
    PlistValue release1() const {
        return settingsFile({
            group("SYNC_SETTINGS",
                  {setting("AUTO_SYNC", true), setting("SYNC_INTERVAL", 30.0, "stepper")}),
            group("LOG", {setting("LOG_HTTP_TRAFFIC", false)}),
        });
    }

    TemporaryDirectory dir_;
    std::filesystem::path documents_;
    std::filesystem::path shipped_;
    std::shared_ptr<CapturingSink> sink_ = std::make_shared<CapturingSink>();
};

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

TEST_F(SettingsManagerTest, FirstStartCopiesShippedDefaultsAndSnapshotOwnerOnly) {
    ship(release1());
    auto settings = open();
    EXPECT_FALSE(settings->loadError());
    EXPECT_FALSE(settings->updateError());
    EXPECT_EQ(bytes(live()), bytes(shipped_));
    EXPECT_EQ(bytes(snapshot()), bytes(shipped_));
    EXPECT_EQ(modeOf(live()), 0600u);
    EXPECT_EQ(modeOf(snapshot()), 0600u);
    EXPECT_EQ(modeOf(documents_), 0700u);
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(30.0));
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "MISSING"), std::nullopt);
    EXPECT_EQ(settings->getSettingInGroup("MISSING", "AUTO_SYNC"), std::nullopt);
    EXPECT_EQ(settings->getPathForWritablePlist(), live());
    EXPECT_EQ(settings->getSettingGroups().size(), 2u);
    ASSERT_TRUE(settings->getSettingsForGroup("LOG"));
    EXPECT_EQ(settings->getSettingsForGroup("LOG")->at("alt"), PlistValue("LOG title"));
}

TEST_F(SettingsManagerTest, UnchangedShippedDefaultsTriggerNoMergeEvenWhenLiveFileWasEdited) {
    ship(release1());
    open();
    // Edited outside the app, including a setting the shipped file does not have: a merge
    // would drop it and restore AUTO_SYNC's title.
    PlistValue edited = settingsFile({group(
        "SYNC_SETTINGS", {setting("AUTO_SYNC", false, "switch", "Edited"), setting("X", 1)})});
    writePlist(live(), edited);
    const std::string before = bytes(live());

    auto settings = open();
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "AUTO_SYNC"), PlistValue(false));
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "X"), PlistValue(1));
    EXPECT_EQ(bytes(live()), before);
    EXPECT_EQ(bytes(snapshot()), bytes(shipped_));
}

TEST_F(SettingsManagerTest, NewReleaseKeepsUserValuesAndTakesEverythingElseFromTheRelease) {
    ship(release1());
    ASSERT_TRUE(open()->writeSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL", 45.0).ok());
    ASSERT_TRUE(open()->writeSettingInGroup("LOG", "LOG_HTTP_TRAFFIC", true).ok());

    // Release 2: a new setting, a new group, new titles and ui type, a new shipped value for
    // a setting the user changed, a new order, and LOG hidden.
    ship(settingsFile({
        group("LOG", {setting("LOG_HTTP_TRAFFIC", false, "switch", "Log traffic")}, false),
        group("SYNC_SETTINGS",
              {setting("SYNC_INTERVAL", 60.0, "text", "Interval"), setting("AUTO_SYNC", false),
               setting("NEW_SETTING", 3.0, "stepper")}),
        group("NEW_GROUP", {setting("FRESH", true)}),
    }));
    auto settings = open();
    EXPECT_FALSE(settings->updateError());

    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
    EXPECT_EQ(settings->getSettingInGroup("LOG", "LOG_HTTP_TRAFFIC"), PlistValue(true));
    // AUTO_SYNC was never changed by the user, but its old value (the old default) survives.
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "AUTO_SYNC"), PlistValue(true));
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "NEW_SETTING"), PlistValue(3.0));
    EXPECT_EQ(settings->getSettingInGroup("NEW_GROUP", "FRESH"), PlistValue(true));

    auto interval = settings->getSettingDictionary("SYNC_SETTINGS", "SYNC_INTERVAL");
    ASSERT_TRUE(interval);
    EXPECT_EQ(interval->at("alt"), PlistValue("Interval"));
    EXPECT_EQ(interval->at("uitype"), PlistValue("text"));
    EXPECT_EQ(settings->getSettingsForGroup("LOG")->at("visible"), PlistValue(false));
    // The release's order of groups and settings.
    auto groups = settings->getSettingGroups();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(*groups[0].find("key"), PlistValue("LOG"));
    EXPECT_EQ(*groups[2].find("key"), PlistValue("NEW_GROUP"));

    // The merge is persisted and the snapshot moved on: a further start reads the same and
    // does not merge again (an edit would otherwise be overwritten by a merge's rewrite).
    EXPECT_EQ(bytes(snapshot()), bytes(shipped_));
    EXPECT_EQ(modeOf(live()), 0600u);
    auto again = open();
    EXPECT_EQ(again->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
    EXPECT_EQ(again->getSettingInGroup("SYNC_SETTINGS", "NEW_SETTING"), PlistValue(3.0));
}

TEST_F(SettingsManagerTest, RenamedGroupFallsBackToShippedValuesAndVanishedEntriesAreDropped) {
    ship(settingsFile({
        group("OLD_GROUP", {setting("A", true)}),
        group("KEPT", {setting("GONE", true), setting("STAYS", 7.0, "stepper")}),
    }));
    auto first = open();
    ASSERT_TRUE(first->writeSettingInGroup("KEPT", "STAYS", 9.0).ok());
    ASSERT_TRUE(first->writeSettingInGroup("OLD_GROUP", "A", false).ok());

    ship(settingsFile({
        group("NEW_GROUP", {setting("A", true)}),
        group("KEPT", {setting("STAYS", 7.0, "stepper")}),
    }));
    auto settings = open();
    EXPECT_EQ(settings->getSettingInGroup("NEW_GROUP", "A"), PlistValue(true));
    EXPECT_EQ(settings->getSettingInGroup("KEPT", "STAYS"), PlistValue(9.0));
    EXPECT_FALSE(settings->getSettingsForGroup("OLD_GROUP"));
    EXPECT_FALSE(settings->getSettingInGroup("KEPT", "GONE"));
    EXPECT_EQ(settings->getSettingGroups().size(), 2u);
}

TEST_F(SettingsManagerTest, LostSnapshotIsRestoredWithoutLosingValues) {
    ship(release1());
    ASSERT_TRUE(open()->writeSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL", 50.0).ok());
    std::filesystem::remove(snapshot());

    auto settings = open();
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(50.0));
    EXPECT_EQ(bytes(snapshot()), bytes(shipped_));
}

TEST_F(SettingsManagerTest, LookupAnswersTheLastMatchAndWriteSetsEveryMatchPersistently) {
    ship(settingsFile({
        group("G", {setting("K", 1), setting("OTHER", 0), setting("K", 2)}),
        group("H", {setting("K", 10)}),
        group("G", {setting("K", 3)}),
    }));
    auto settings = open();
    EXPECT_EQ(settings->getSettingInGroup("G", "K"), PlistValue(3));
    EXPECT_EQ(settings->getSettingsForGroup("G")->at("settings").array()->size(), 1u);

    ASSERT_TRUE(settings->writeSettingInGroup("G", "K", 42.0).ok());
    EXPECT_EQ(settings->getSettingInGroup("G", "K"), PlistValue(42.0));

    auto reread = PropertyList::readFile(live().string());
    ASSERT_TRUE(reread.ok());
    const PlistArray& groups = *reread.value().find("Groups")->array();
    const PlistArray& firstG = *groups[0].find("settings")->array();
    EXPECT_EQ(*firstG[0].find("value"), PlistValue(42.0));
    EXPECT_EQ(*firstG[1].find("value"), PlistValue(0));
    EXPECT_EQ(*firstG[2].find("value"), PlistValue(42.0));
    EXPECT_EQ(*groups[1].find("settings")->array()->at(0).find("value"), PlistValue(10));
    EXPECT_EQ(*groups[2].find("settings")->array()->at(0).find("value"), PlistValue(42.0));
    EXPECT_EQ(modeOf(live()), 0600u);

    // A second instance (a later process) reads the written value.
    EXPECT_EQ(open()->getSettingInGroup("H", "K"), PlistValue(10));
    EXPECT_EQ(open()->getSettingInGroup("G", "K"), PlistValue(42.0));
}

TEST_F(SettingsManagerTest, WriteOfAnUnknownSettingFailsAndLeavesTheFile) {
    ship(release1());
    auto settings = open();
    const std::string before = bytes(live());
    auto status = settings->writeSettingInGroup("SYNC_SETTINGS", "NOPE", true);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, SettingsManager::kSettingNotFound);
    EXPECT_EQ(bytes(live()), before);
}

TEST_F(SettingsManagerTest, FailedWriteIsReportedLoggedAndLeavesMemoryAndFile) {
    ship(release1());
    bool failWrites = false;
    auto settings = open([&](const std::filesystem::path& path, std::string_view data) -> Status {
        if (failWrites) {
            return Error::fromErrno(ENOSPC, "cannot write " + path.string());
        }
        return FileSystem::writeFileAtomically(path, data);
    });
    const std::string before = bytes(live());
    failWrites = true;
    auto status = settings->writeSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL", 90.0);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, ENOSPC);
    EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(30.0));
    EXPECT_EQ(bytes(live()), before);
    ASSERT_FALSE(sink_->errors().empty());
    EXPECT_EQ(sink_->errors().back(), status.error().toString());
    EXPECT_TRUE(sink_->errors().back().starts_with("Error[" + std::to_string(ENOSPC) + "]: "));
}

// A live file that cannot be used: the store is empty, the error says why, and neither the
// start nor a later write replaces what the user has - even when a new release is waiting.
TEST_F(SettingsManagerTest, DamagedLiveFileGivesEmptyStoreAndIsNeverOverwritten) {
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {
        {"not a property list", "this is not a plist"},
        {"truncated XML", PropertyList::toXml(release1()).substr(0, 120)},
        {"array root", PropertyList::toXml(PlistArray{1, 2})},
        {"no Groups list", PropertyList::toXml(PlistDict{{"Groups", "text"}})},
        {"empty file", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(documents_);
        ship(release1());
        open();
        ASSERT_TRUE(FileSystem::writeFileAtomically(live(), c.content).ok());
        ship(settingsFile({group("SYNC_SETTINGS", {setting("AUTO_SYNC", false)})}));
        const std::string snapshotBefore = bytes(snapshot());

        auto settings = open();
        ASSERT_TRUE(settings->loadError());
        EXPECT_EQ(settings->loadError()->domain, SettingsManager::kErrorDomain);
        EXPECT_NE(settings->loadError()->description.find(live().string()), std::string::npos);
        EXPECT_TRUE(settings->getSettingGroups().empty());
        EXPECT_FALSE(settings->getSettingInGroup("SYNC_SETTINGS", "AUTO_SYNC"));
        EXPECT_FALSE(settings->getSettingsForGroup("SYNC_SETTINGS"));

        auto write = settings->writeSettingInGroup("SYNC_SETTINGS", "AUTO_SYNC", true);
        ASSERT_FALSE(write.ok());
        EXPECT_EQ(write.error().code, SettingsManager::kStoreUnusable);
        EXPECT_EQ(bytes(live()), c.content);
        EXPECT_EQ(bytes(snapshot()), snapshotBefore);
        EXPECT_EQ(settings->getPathForWritablePlist(), live());
        EXPECT_EQ(bytes(live()), c.content);
    }
}

TEST_F(SettingsManagerTest, MissingOrDamagedShippedDefaultsOnFirstStartCreateNoLiveFile) {
    struct Case {
        const char* name;
        std::optional<std::string> shipped;
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"not a property list", "garbage"},
        {"no Groups list", PropertyList::toXml(PlistDict{{"Other", 1}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(shipped_);
        if (c.shipped) {
            ASSERT_TRUE(FileSystem::writeFileAtomically(shipped_, *c.shipped).ok());
        }
        auto settings = open();
        ASSERT_TRUE(settings->loadError());
        EXPECT_EQ(settings->loadError()->code, SettingsManager::kShippedUnreadable);
        EXPECT_NE(settings->loadError()->description.find("shipped settings defaults"),
                  std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(live()));
        EXPECT_FALSE(settings->getPathForWritablePlist());
        EXPECT_FALSE(settings->writeSettingInGroup("LOG", "LOG_HTTP_TRAFFIC", true).ok());
        EXPECT_FALSE(std::filesystem::exists(live()));
    }
}

TEST_F(SettingsManagerTest, FailedMergeLeavesLiveFileAndSnapshotAndRetriesAtNextStart) {
    ship(release1());
    ASSERT_TRUE(open()->writeSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL", 45.0).ok());
    const std::string liveBefore = bytes(live());
    const std::string snapshotBefore = bytes(snapshot());
    const PlistValue release2 = settingsFile({group(
        "SYNC_SETTINGS", {setting("SYNC_INTERVAL", 30.0, "stepper"), setting("NEW", true)})});

    {
        SCOPED_TRACE("damaged shipped defaults");
        ASSERT_TRUE(FileSystem::writeFileAtomically(shipped_, "<plist><dict>").ok());
        auto settings = open();
        ASSERT_TRUE(settings->updateError());
        EXPECT_FALSE(settings->loadError());
        EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
        EXPECT_EQ(bytes(live()), liveBefore);
        EXPECT_EQ(bytes(snapshot()), snapshotBefore);
    }
    {
        SCOPED_TRACE("missing shipped defaults");
        std::filesystem::remove(shipped_);
        auto settings = open();
        ASSERT_TRUE(settings->updateError());
        EXPECT_EQ(settings->updateError()->code, SettingsManager::kShippedUnreadable);
        EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
        EXPECT_EQ(bytes(live()), liveBefore);
    }
    {
        SCOPED_TRACE("writing the merged file fails");
        ship(release2);
        auto settings = open([&](const std::filesystem::path& path, std::string_view) -> Status {
            return Error::fromErrno(EIO, "cannot write " + path.string());
        });
        ASSERT_TRUE(settings->updateError());
        EXPECT_EQ(settings->updateError()->code, EIO);
        EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
        EXPECT_FALSE(settings->getSettingInGroup("SYNC_SETTINGS", "NEW"));
        EXPECT_EQ(bytes(live()), liveBefore);
        EXPECT_EQ(bytes(snapshot()), snapshotBefore);
        const auto errors = sink_->errors();
        EXPECT_NE(std::find(errors.begin(), errors.end(), settings->updateError()->toString()),
                  errors.end());
    }
    {
        SCOPED_TRACE("next start merges");
        auto settings = open();
        EXPECT_FALSE(settings->updateError());
        EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "SYNC_INTERVAL"), PlistValue(45.0));
        EXPECT_EQ(settings->getSettingInGroup("SYNC_SETTINGS", "NEW"), PlistValue(true));
        EXPECT_EQ(bytes(snapshot()), bytes(shipped_));
    }
}

TEST_F(SettingsManagerTest, SharedInstanceIsReplaceable) {
    ship(release1());
    auto replacement = std::make_shared<SettingsManager>(documents_, shipped_);
    SettingsManager::setSharedInstance(replacement);
    EXPECT_EQ(&SettingsManager::sharedInstance(), replacement.get());
    SettingsManager::setSharedInstance(nullptr);
}

TEST(SettingsDigestTest, Md5IsLowerCaseHex) {
    EXPECT_EQ(SettingsManager::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(SettingsManager::md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace pagewell
