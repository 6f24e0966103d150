// Change timestamps: one set per user and content language in the user defaults, the
// "TimestampSyncEnabled" switch, the resets, and timestamps held back until an import commits.

#include "sync/TimestampManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/PendingTimestamps.h"
#include "sync/ResetTimestamp.h"

namespace pagewell {
namespace {

class TimestampManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { UserDefaults::setShared(defaults_); }
    void TearDown() override { UserDefaults::setShared(nullptr); }

    // A manager that reads the signed-in user, language and switch from the fixture's fields,
    // so a test can change them between calls as sign-in and the language chooser would.
    TimestampManager makeManager() {
        return TimestampManager(
            {[this] { return user_; }, [this] { return locale_; }, [this] { return enabled_; }});
    }

    // The stored dictionary of one user and language, or none.
    std::optional<PlistDict> entryOf(const std::string& user, const std::string& locale) {
        auto value = defaults_->get(TimestampManager::entryKey(user, locale));
        if (!value || value->dict() == nullptr) {
            return std::nullopt;
        }
        return *value->dict();
    }

    TemporaryDirectory dir_;
    std::shared_ptr<UserDefaults> defaults_ =
        std::make_shared<UserDefaults>(dir_.path() / "defaults.plist");
    std::optional<std::string> user_ = "alice";
    std::optional<std::string> locale_ = "1";
    bool enabled_ = true;
};

struct Kind {
    const char* name;
    std::function<std::string(TimestampManager&)> get;
    std::function<void(TimestampManager&, const std::string&)> save;
    const char* storedKey;  // the key inside the user's dictionary
};

const Kind kKinds[] = {
    {"category list", [](TimestampManager& m) { return m.timestampForCategoryList(); },
     [](TimestampManager& m, const std::string& t) { m.saveTimestampForCategoryList(t); },
     "kCatListTimestampDictKey"},
    {"all files", [](TimestampManager& m) { return m.timestampForAllFilesForSync(); },
     [](TimestampManager& m, const std::string& t) { m.saveTimestampForAllFilesForSync(t); },
     "kAllFilesSyncTimestampDictKey"},
    {"category 42", [](TimestampManager& m) { return m.timestampForCategoryID("42"); },
     [](TimestampManager& m, const std::string& t) { m.saveTimestamp(t, "42"); },
     "kCatItemTimestampDictKey_42"},
    // The highlight list is the category list of ID -1.
    {"highlights", [](TimestampManager& m) { return m.timestampForHighlights(); },
     [](TimestampManager& m, const std::string& t) { m.saveTimeStampForHighlights(t); },
     "kCatItemTimestampDictKey_-1"},
};

TEST_F(TimestampManagerTest, EachKindIsStoredUnderItsKeyInTheUsersEntryAndSurvivesARestart) {
    TimestampManager manager = makeManager();
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(kind.get(manager), "0");
        kind.save(manager, std::string("ts-") + kind.name);
        EXPECT_EQ(kind.get(manager), std::string("ts-") + kind.name);
    }
    ASSERT_TRUE(defaults_->contains("kImportTimestampDictKey_alice_1"));
    std::optional<PlistDict> entry = entryOf("alice", "1");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->size(), 4u);
    for (const Kind& kind : kKinds) {
        ASSERT_TRUE(entry->count(kind.storedKey)) << kind.storedKey;
        EXPECT_EQ(entry->at(kind.storedKey).stringValue(), std::string("ts-") + kind.name);
    }
    EXPECT_EQ(manager.timestampForCategoryID("-1"), "ts-highlights");

    // Written through: a new process reads the same values.
    UserDefaults::setShared(std::make_shared<UserDefaults>(defaults_->file()));
    TimestampManager restarted = makeManager();
    for (const Kind& kind : kKinds) {
        EXPECT_EQ(kind.get(restarted), std::string("ts-") + kind.name) << kind.name;
    }
}

TEST_F(TimestampManagerTest, UsersAndLanguagesKeepSeparateTimestampsWithoutAnyNotification) {
    TimestampManager manager = makeManager();
    manager.saveTimestampForCategoryList("alice-en");
    manager.saveTimestamp("alice-en-7", "7");

    // Another user signs in; nothing is posted. The first user's values must not show, and
    // what the second user saves must not land in the first user's entry.
    user_ = "bob";
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    EXPECT_EQ(manager.timestampForCategoryID("7"), "0");
    manager.saveTimestampForCategoryList("bob-en");
    EXPECT_EQ(entryOf("bob", "1")->size(), 1u);

    // A language switch (as the chooser posts it) shows that language's set.
    locale_ = "2";
    NotificationCenter::shared().post("LanguageSwitchEvent");
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    manager.saveTimestampForCategoryList("bob-de");

    user_ = "alice";
    locale_ = "1";
    EXPECT_EQ(manager.timestampForCategoryList(), "alice-en");
    EXPECT_EQ(manager.timestampForCategoryID("7"), "alice-en-7");
    user_ = "bob";
    EXPECT_EQ(manager.timestampForCategoryList(), "bob-en");
    locale_ = "2";
    EXPECT_EQ(manager.timestampForCategoryList(), "bob-de");

    // Every holder sees the same values.
    EXPECT_EQ(makeManager().timestampForCategoryList(), "bob-de");
}

TEST_F(TimestampManagerTest, SwitchOffAnswersZeroAndWritesNothing) {
    TimestampManager manager = makeManager();
    manager.saveTimestampForCategoryList("kept");
    manager.saveTimestamp("cat", "5");
    const std::optional<PlistDict> before = entryOf("alice", "1");

    enabled_ = false;
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        kind.save(manager, "new");
        EXPECT_EQ(kind.get(manager), "0");
    }
    manager.deleteTimestampForCategoryWithID("5");
    EXPECT_EQ(entryOf("alice", "1"), before);

    user_ = "carol";
    manager.saveTimestampForCategoryList("never");
    EXPECT_FALSE(defaults_->contains(TimestampManager::entryKey("carol", "1")));
}

TEST_F(TimestampManagerTest, WithoutUserLanguageOrCategoryIdNothingIsReadOrWritten) {
    TimestampManager manager = makeManager();
    manager.saveTimestamp("x", "");
    EXPECT_FALSE(entryOf("alice", "1"));
    EXPECT_EQ(manager.timestampForCategoryID(""), "0");

    for (auto [user, locale] :
         {std::pair<std::optional<std::string>, std::optional<std::string>>{std::nullopt, "1"},
          {"alice", std::nullopt},
          {"", "1"}}) {
        user_ = user;
        locale_ = locale;
        EXPECT_FALSE(manager.currentEntryKey());
        manager.saveTimestampForAllFilesForSync("orphan");
        EXPECT_EQ(manager.timestampForAllFilesForSync(), "0");
    }
    EXPECT_TRUE(defaults_->allKeys().empty());

    // An empty manager (no sources at all) counts as signed out with the switch off.
    TimestampManager bare(TimestampManager::Sources{});
    bare.saveTimestampForCategoryList("x");
    EXPECT_EQ(bare.timestampForCategoryList(), "0");
    EXPECT_TRUE(defaults_->allKeys().empty());
}

TEST_F(TimestampManagerTest, DeletingACategoryTimestampLeavesTheOthers) {
    TimestampManager manager = makeManager();
    manager.saveTimestamp("t5", "5");
    manager.saveTimestamp("t6", "6");
    manager.saveTimeStampForHighlights("th");
    manager.deleteTimestampForCategoryWithID("5");
    EXPECT_EQ(manager.timestampForCategoryID("5"), "0");
    EXPECT_EQ(manager.timestampForCategoryID("6"), "t6");
    EXPECT_EQ(manager.timestampForHighlights(), "th");
    EXPECT_FALSE(entryOf("alice", "1")->count("kCatItemTimestampDictKey_5"));
}

TEST_F(TimestampManagerTest, ANumberStoredByAnOlderReleaseReadsAsItsText) {
    PlistDict entry{{"kCatListTimestampDictKey", PlistValue(std::int64_t{1700000000})}};
    ASSERT_TRUE(
        defaults_->set(TimestampManager::entryKey("alice", "1"), PlistValue(std::move(entry)))
            .ok());
    EXPECT_EQ(makeManager().timestampForCategoryList(), "1700000000");
}

TEST_F(TimestampManagerTest, ResetForCurrentUserKeepsOtherEntriesAndResetAllRemovesEveryEntry) {
    TimestampManager manager = makeManager();
    manager.saveTimestampForCategoryList("a1");
    user_ = "bob";
    manager.saveTimestampForCategoryList("b1");
    manager.saveTimeStampForHighlights("bh");
    ASSERT_TRUE(defaults_->set("CURRENT_LOCALE_ID_bob", PlistValue(1)).ok());
    // Keys written with other case or accents still name timestamp entries.
    ASSERT_TRUE(defaults_->set("KIMPORTTIMESTAMPDICTKEY_old_3", PlistValue(PlistDict{})).ok());
    ASSERT_TRUE(
        defaults_->set("k\xC3\x8Fmport\xC5\xA2imestampDictKey_old_4", PlistValue(PlistDict{}))
            .ok());

    manager.resetAllTimestampsForCurrentUser();
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    EXPECT_EQ(manager.timestampForHighlights(), "0");
    EXPECT_FALSE(entryOf("bob", "1"));
    user_ = "alice";
    EXPECT_EQ(manager.timestampForCategoryList(), "a1");

    TimestampManager::resetAllTimestamps();
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    EXPECT_EQ(defaults_->allKeys(), std::vector<std::string>{"CURRENT_LOCALE_ID_bob"});
    // The removal reached the file.
    EXPECT_EQ(UserDefaults(defaults_->file()).allKeys(),
              std::vector<std::string>{"CURRENT_LOCALE_ID_bob"});
}

TEST_F(TimestampManagerTest, OneTimeResetRunsOnlyOnce) {
    TimestampManager manager = makeManager();
    manager.saveTimestampForCategoryList("before");
    EXPECT_TRUE(ResetTimestamp::resetTimestamps());
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    EXPECT_TRUE(defaults_->boolValue("RESET_TIMESTAMPS_v2.6.8"));

    manager.saveTimestampForCategoryList("after");
    EXPECT_TRUE(ResetTimestamp::resetTimestamps());
    EXPECT_EQ(manager.timestampForCategoryList(), "after");
}

TEST_F(TimestampManagerTest, PendingTimestampsReachTheStoreOnlyWhenApplied) {
    TimestampManager manager = makeManager();
    manager.saveTimestampForAllFilesForSync("previous");

    PendingTimestamps failedImport;
    failedImport.setAllFilesForSync("unreached");
    failedImport.setCategory("9", "c9");
    failedImport.discard();
    EXPECT_TRUE(failedImport.empty());
    failedImport.applyTo(manager);
    EXPECT_EQ(manager.timestampForAllFilesForSync(), "previous");
    EXPECT_EQ(manager.timestampForCategoryID("9"), "0");

    PendingTimestamps committed;
    committed.setCategoryList("list");
    committed.setAllFilesForSync("all");
    committed.setHighlights("hl");
    committed.setCategory("9", "c9");
    committed.setCategory("", "ignored");
    // Held, not written, until the import says its transaction committed.
    EXPECT_EQ(manager.timestampForCategoryList(), "0");
    committed.applyTo(manager);
    EXPECT_TRUE(committed.empty());
    EXPECT_EQ(manager.timestampForCategoryList(), "list");
    EXPECT_EQ(manager.timestampForAllFilesForSync(), "all");
    EXPECT_EQ(manager.timestampForHighlights(), "hl");
    EXPECT_EQ(manager.timestampForCategoryID("9"), "c9");
    EXPECT_EQ(entryOf("alice", "1")->size(), 4u);
}

TEST_F(TimestampManagerTest, TheRequestLayerInterfaceReadsAndAdvancesTheSameEntry) {
    auto manager = std::make_shared<TimestampManager>(makeManager());
    ChangeTimestampsAdapter adapter(manager);
    ChangeTimestamps& requests = adapter;
    requests.saveTimestampForCategoryList("list");
    requests.saveTimestampForAllFilesForSync("all");
    requests.saveTimestamp("c3", "3");
    requests.saveTimeStampForHighlights("hl");
    EXPECT_EQ(manager->timestampForCategoryList(), "list");
    EXPECT_EQ(manager->timestampForAllFilesForSync(), "all");
    EXPECT_EQ(manager->timestampForCategoryID("3"), "c3");
    EXPECT_EQ(manager->timestampForHighlights(), "hl");
    manager->deleteTimestampForCategoryWithID("3");
    EXPECT_EQ(requests.timestampForCategoryID("3"), ChangeTimestamps::kNoTimestamp);
    enabled_ = false;
    EXPECT_EQ(requests.timestampForCategoryList(), ChangeTimestamps::kNoTimestamp);
    EXPECT_EQ(requests.timestampForHighlights(), "0");
}

}  // namespace
}  // namespace pagewell
