// The start-up store repairs on stores prepared with duplicates and orphans, on clean stores
// (left untouched), and their one-time flags.
//
// Stores written before the identity indexes existed could hold the same server record twice;
// the tests recreate such a store by dropping those indexes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/Locale.h"
#include "store/SideEntityTestSupport.h"
#include "store/StoreRulesTestSupport.h"
#include "sync/CustomMigrations.h"
#include "sync/FileCategoryMigration.h"
#include "sync/FixDuplicateLocales.h"
#include "sync/RedliningMigration.h"
#include "sync/RemoveDuplicateFiles.h"
#include "sync/RemoveFilesWithoutCategoryMigration.h"
#include "sync/TimestampManager.h"

namespace pagewell {
namespace {

using Keys = std::vector<std::int64_t>;

class StoreMigrationsTest : public SideEntityTest {
  protected:
    void SetUp() override {
        SideEntityTest::SetUp();
        UserDefaults::setShared(defaults_);
        StoreHooks::setCategoryTimestamps(timestamps_);
        Logger::shared().addSink(log_);
        NotificationCenter::shared().addObserver(StoreContext::kStoreDidChangeEvent,
                                                 [this](const Notification&) { ++saves_; });
        NotificationCenter::shared().addObserver(
            File::kFileDeletionEvent, [this](const Notification& notification) {
                if (const auto* event = notification.userInfoAs<File::DeletionEvent>()) {
                    deletionEvents_.push_back(event->pk);
                }
            });
        bobKey_ = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 2, "bob");
        carolKey_ = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 3, "carol");
    }
    void TearDown() override {
        Logger::shared().removeSink(log_);
        UserDefaults::setShared(nullptr);
        SideEntityTest::TearDown();
    }

    void dropIdentityIndexes() {
        ASSERT_TRUE(main()
                        .database()
                        .exec("DROP INDEX File_identity; DROP INDEX FileCategory_identity; "
                              "DROP INDEX Locale_identity;")
                        .ok());
    }

    std::int64_t category(std::int64_t cmsID, std::optional<std::string> name, double modified,
                          std::optional<std::int64_t> locale = std::nullopt,
                          std::int64_t localeID = 1) {
        return insertRow(
            "INSERT INTO FileCategory (cmsID, localeID, name, modified, locale) "
            "VALUES (?, ?, ?, ?, ?)",
            cmsID, localeID, name, modified, locale.value_or(localeKey_));
    }
    std::int64_t file(std::int64_t cmsID, double modified, const std::string& url = "u.pdf") {
        return insertRow(
            "INSERT INTO File (cmsID, title, fileURL, modified, downloaded, updateAvailable) "
            "VALUES (?, ?, ?, ?, 0, 0)",
            cmsID, "t" + std::to_string(cmsID), url, modified);
    }
    void link(std::int64_t fileKey, std::int64_t categoryKey) {
        insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", fileKey,
                  categoryKey);
    }
    std::int64_t state(std::int64_t fileKey, std::int64_t userKey, bool read, bool favorite,
                       bool hidden) {
        return insertRow(
            "INSERT INTO FileState (file, user, read, favorite, pretendDeletion) "
            "VALUES (?, ?, ?, ?, ?)",
            fileKey, userKey, read, favorite, hidden);
    }
    Keys keys(const char* sql, std::int64_t key) {
        Keys result;
        auto statement = main().database().prepare(sql);
        EXPECT_TRUE(statement.ok());
        statement.value()->bindAll(key);
        while (statement.value()->step().valueOr(false)) {
            result.push_back(statement.value()->integer(0));
        }
        statement.value()->reset();
        return result;
    }
    File fileRecord(std::int64_t pk) {
        auto found = File::find(main(), pk);
        EXPECT_TRUE(found.ok() && found.value());
        return found.ok() && found.value() ? *found.value() : File{};
    }
    bool flag(const char* name) { return defaults_->boolValue(name); }

    std::shared_ptr<UserDefaults> defaults_ =
        std::make_shared<UserDefaults>(dir_.path() / "defaults.plist");
    // Alice, content language 1, as the fixture's current selection.
    std::shared_ptr<TimestampManager> timestamps_ = std::make_shared<TimestampManager>(
        TimestampManager::Sources{[] { return CurrentSelection::userName(); },
                                  [] { return std::string("1"); }, [] { return true; }});
    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
    int saves_ = 0;
    Keys deletionEvents_;
    std::int64_t bobKey_ = 0;
    std::int64_t carolKey_ = 0;
};

TEST_F(StoreMigrationsTest, DeletingACategoryForgetsItsTimestampSoItsNextImportIsFull) {
    std::int64_t key = category(10, "News", 1);
    timestamps_->saveTimestamp("t10", "10");
    timestamps_->saveTimestamp("t11", "11");
    auto record = FileCategory::find(main(), key);
    ASSERT_TRUE(record.ok() && record.value());
    ASSERT_TRUE(record.value()->deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(timestamps_->timestampForCategoryID("10"), "0");
    EXPECT_EQ(timestamps_->timestampForCategoryID("11"), "t11");
}

TEST_F(StoreMigrationsTest, DuplicateCategoriesBecomeTheNewestHoldingTheFilesOfAll) {
    dropIdentityIndexes();
    std::int64_t older = category(10, "Old", 100);
    std::int64_t newer = category(10, "New", 200);
    std::int64_t otherLocale =
        insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 2, "Deutsch");
    std::int64_t otherLanguage = category(10, "Neu", 300, otherLocale, 2);
    std::int64_t child = category(11, "Child", 100);
    insertRow("INSERT INTO FileCategory_subcategories (parent, child) VALUES (?, ?)", older, child);
    insertRow("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)", older, bobKey_);
    std::int64_t onlyInOlder = file(1, 1), onlyInNewer = file(2, 1), inBoth = file(3, 1);
    link(onlyInOlder, older);
    link(onlyInNewer, newer);
    link(inBoth, older);
    link(inBoth, newer);
    timestamps_->saveTimestamp("t10", "10");
    timestamps_->saveTimestamp("t11", "11");

    ASSERT_TRUE(RemoveDuplicateFiles::removeDuplicateFileCategories(main()).ok());

    EXPECT_EQ(keys("SELECT pk FROM FileCategory WHERE cmsID = ? ORDER BY pk", 10),
              (Keys{newer, otherLanguage}));
    EXPECT_EQ(keys("SELECT file FROM File_categories WHERE category = ? ORDER BY file", newer),
              (Keys{onlyInOlder, onlyInNewer, inBoth}));
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 3);
    EXPECT_EQ(keys("SELECT child FROM FileCategory_subcategories WHERE parent = ?", newer),
              (Keys{child}));
    EXPECT_EQ(keys("SELECT user FROM FileCategory_users WHERE category = ?", newer),
              (Keys{bobKey_}));
    EXPECT_TRUE(log_->contains("Migrating duplicate categories: (10)"));
    EXPECT_EQ(timestamps_->timestampForCategoryID("10"), "0");
    EXPECT_EQ(timestamps_->timestampForCategoryID("11"), "t11");
    EXPECT_GE(saves_, 1);
}

// Two records of one server file: the older one downloaded, the newer one not.
struct LocalCopyCase {
    const char* name;
    std::optional<std::string> olderCopy;  // content on disk; none: no file there
    bool sameAddress;
    bool keptDownloaded;  // the newer record ends up with the older one's copy
};

const LocalCopyCase kLocalCopyCases[] = {
    {"copy with content", "%PDF-1.4 brochure", true, true},
    {"empty copy", "", true, false},
    {"copy gone from disk", std::nullopt, true, false},
    {"another address", "%PDF-1.4 old edition", false, false},
};

TEST_F(StoreMigrationsTest, DuplicateFilesKeepTheNewestWithTheOlderDownloadedCopyWhenUsable) {
    dropIdentityIndexes();
    struct Prepared {
        std::int64_t older, newer;
        std::string olderPath;
    };
    std::vector<Prepared> prepared;
    std::int64_t cmsID = 20;
    for (const LocalCopyCase& c : kLocalCopyCases) {
        Prepared p{file(cmsID, 100, "brochure.pdf"),
                   file(cmsID, 200, c.sameAddress ? "brochure.pdf" : "brochure-v2.pdf"), ""};
        std::string name = "old/" + std::to_string(cmsID) + ".pdf";
        p.olderPath = c.olderCopy ? writeStoredFile(name, *c.olderCopy) : "/Documents/" + name;
        ASSERT_TRUE(main()
                        .database()
                        .run("UPDATE File SET downloaded = 1, filePath = ? WHERE pk = ?",
                             p.olderPath, p.older)
                        .ok());
        ASSERT_TRUE(main()
                        .database()
                        .run("UPDATE File SET updateAvailable = 1 WHERE pk = ?", p.newer)
                        .ok());
        prepared.push_back(p);
        ++cmsID;
    }

    ASSERT_TRUE(RemoveDuplicateFiles::removeDuplicateFiles(main()).ok());

    EXPECT_TRUE(log_->contains("Migrating duplicate files: (20, 21, 22, 23)"));
    for (std::size_t i = 0; i < prepared.size(); ++i) {
        const LocalCopyCase& c = kLocalCopyCases[i];
        const Prepared& p = prepared[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(keys("SELECT pk FROM File WHERE cmsID = ?", 20 + std::int64_t(i)),
                  (Keys{p.newer}));
        File kept = fileRecord(p.newer);
        EXPECT_EQ(kept.downloaded, c.keptDownloaded);
        if (c.keptDownloaded) {
            EXPECT_EQ(kept.filePath, p.olderPath);
            EXPECT_FALSE(kept.updateAvailable);
            EXPECT_TRUE(exists(p.olderPath));
        } else {
            EXPECT_FALSE(kept.filePath);
            // No record names the older copy any more, so it is gone from disk.
            EXPECT_FALSE(exists(p.olderPath));
        }
        EXPECT_NE(std::find(deletionEvents_.begin(), deletionEvents_.end(), p.older),
                  deletionEvents_.end());
    }
}

TEST_F(StoreMigrationsTest, DuplicateFilesCarryUsersFlagsFoldersBasketItemsAndMemberships) {
    dropIdentityIndexes();
    std::int64_t older = file(30, 100), newer = file(30, 200);
    std::int64_t categoryX = category(60, "X", 1), categoryY = category(61, "Y", 1);
    link(older, categoryX);
    link(newer, categoryY);
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", older, carolKey_);
    std::int64_t aliceOld = state(older, userKey_, true, true, false);
    state(older, bobKey_, false, false, true);
    state(older, carolKey_, false, true, false);
    state(newer, userKey_, false, false, false);
    std::int64_t bobNew = state(newer, bobKey_, true, false, false);
    std::int64_t folder =
        insertRow("INSERT INTO FavoriteFolder (cmsID, title, user, locale) VALUES (?, ?, ?, ?)",
                  900, "Fair", userKey_, localeKey_);
    std::int64_t relation = insertRow(
        "INSERT INTO FavoriteFolderRelation (cmsID, synced, pretendDeletion, folder, fileState) "
        "VALUES (?, 1, 0, ?, ?)",
        901, folder, aliceOld);
    std::int64_t basketItem = insertRow(
        "INSERT INTO ShareFile (customTitle, redliningSalt, file, user) VALUES (?, ?, ?, ?)",
        "Offer", "s1", older, userKey_);
    insertRow("INSERT INTO Bookmark (name, page, file) VALUES (?, ?, ?)", "Prices", 3, older);

    ASSERT_TRUE(RemoveDuplicateFiles::removeDuplicateFilesAndCategories(main()).ok());

    ASSERT_EQ(keys("SELECT pk FROM File WHERE cmsID = ?", 30), (Keys{newer}));
    auto stateOf = [&](std::int64_t user) {
        auto found = FileState::stateOfFile(main(), newer, user);
        EXPECT_TRUE(found.ok() && found.value());
        return found.ok() && found.value() ? *found.value() : FileState{};
    };
    FileState alice = stateOf(userKey_);
    EXPECT_TRUE(alice.favorite);
    EXPECT_TRUE(alice.read);
    EXPECT_FALSE(alice.pretendDeletion);
    FileState bob = stateOf(bobKey_);
    EXPECT_EQ(bob.pk, bobNew);
    EXPECT_TRUE(bob.pretendDeletion);
    EXPECT_TRUE(bob.read) << "a flag set on the kept file is never cleared";
    FileState carol = stateOf(carolKey_);
    EXPECT_TRUE(carol.favorite);
    // The folder relation moved with its server identity.
    EXPECT_EQ(keys("SELECT pk FROM FavoriteFolderRelation WHERE fileState = ?", alice.pk),
              (Keys{relation}));
    EXPECT_EQ(keys("SELECT pk FROM ShareFile WHERE file = ?", newer), (Keys{basketItem}));
    EXPECT_EQ(scalar("SELECT count(*) FROM Bookmark WHERE file = ?", newer), 1);
    EXPECT_EQ(keys("SELECT category FROM File_categories WHERE file = ? ORDER BY category", newer),
              (Keys{categoryX, categoryY}));
    EXPECT_EQ(
        scalar("SELECT count(*) FROM File_users WHERE file = ? AND user = ?", newer, carolKey_), 1);
    // The annotation set belongs to the server file and the user, so it stays with the kept one.
    EXPECT_TRUE(annotations_->removed().empty());
}

TEST_F(StoreMigrationsTest, ACleanStoreIsLeftUntouchedByTheDuplicateCleanUp) {
    std::int64_t news = category(10, "News", 1);
    std::int64_t a = file(1, 1), b = file(2, 1);
    link(a, news);
    link(b, news);
    state(a, userKey_, true, true, false);
    saves_ = 0;

    ASSERT_TRUE(RemoveDuplicateFiles::removeDuplicateFilesAndCategories().ok());
    ASSERT_TRUE(RemoveFilesWithoutCategoryMigration::removeFilesWithoutCategory(main()).ok());
    ASSERT_TRUE(RemoveFilesWithoutCategoryMigration::removeCategoriesWithoutName(main()).ok());
    EXPECT_TRUE(FileCategoryMigration::deleteFileCategoriesWithNullLocaleID());
    ASSERT_TRUE(FixDuplicateLocales::fixDuplicateLocales(main()).ok());

    EXPECT_EQ(saves_, 0);
    EXPECT_TRUE(log_->messages().empty());
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileState"), 1);
}

TEST_F(StoreMigrationsTest, DuplicateMigrationResetsTimestampsAndRunsOnce) {
    dropIdentityIndexes();
    file(30, 100);
    std::int64_t newer = file(30, 200);
    timestamps_->saveTimestampForAllFilesForSync("all");

    RemoveDuplicateFiles::migrateRemoveDuplicateFilesAndCategories();
    EXPECT_EQ(keys("SELECT pk FROM File WHERE cmsID = ?", 30), (Keys{newer}));
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), "0");
    EXPECT_TRUE(flag("DUPLICATE_FILES_MIGRATION_DONE"));

    file(30, 300);
    timestamps_->saveTimestampForAllFilesForSync("later");
    RemoveDuplicateFiles::migrateRemoveDuplicateFilesAndCategories();
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE cmsID = ?", 30), 2);
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), "later");
    // The unguarded clean-up after a synchronisation still merges them.
    ASSERT_TRUE(RemoveDuplicateFiles::removeDuplicateFilesAndCategories().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE cmsID = ?", 30), 1);
}

TEST_F(StoreMigrationsTest, CategoriesWithoutLanguageGoWithTheirOwnFilesOnce) {
    std::int64_t kept = category(10, "News", 1);
    std::int64_t noLanguage = category(50, "Legacy", 1, std::nullopt, 0);
    std::int64_t onlyThere = file(1, 1), shared = file(2, 1);
    link(onlyThere, noLanguage);
    link(shared, noLanguage);
    link(shared, kept);
    timestamps_->saveTimestamp("t50", "50");

    EXPECT_TRUE(FileCategoryMigration::migrateFileCategories());
    EXPECT_EQ(keys("SELECT pk FROM FileCategory WHERE cmsID = ?", 50), Keys{});
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE pk = ?", onlyThere), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE pk = ?", shared), 1);
    EXPECT_EQ(timestamps_->timestampForCategoryID("50"), "0");
    EXPECT_TRUE(flag("FILECATEGORY_MIGRATION_DONE"));

    category(51, "Later", 1, std::nullopt, 0);
    EXPECT_TRUE(FileCategoryMigration::migrateFileCategories());
    EXPECT_EQ(scalar("SELECT count(*) FROM FileCategory WHERE cmsID = ?", 51), 1);
}

TEST_F(StoreMigrationsTest, OrphansGoAndTheNextSynchronisationIsFull) {
    std::int64_t news = category(10, "News", 1);
    std::int64_t nameless = category(11, std::nullopt, 1);
    std::int64_t listed = file(1, 1), orphan = file(2, 1), onlyInNameless = file(3, 1);
    link(listed, news);
    link(onlyInNameless, nameless);
    std::string copy = writeStoredFile("2/content.pdf", "%PDF");
    ASSERT_TRUE(main()
                    .database()
                    .run("UPDATE File SET downloaded = 1, filePath = ? WHERE pk = ?", copy, orphan)
                    .ok());
    timestamps_->saveTimestampForCategoryList("list");
    timestamps_->saveTimestamp("t10", "10");

    RemoveFilesWithoutCategoryMigration::migrateRemoveFilesWithoutCategory();
    EXPECT_EQ(keys("SELECT pk FROM File WHERE pk > ? ORDER BY pk", 0), (Keys{listed}));
    EXPECT_EQ(keys("SELECT pk FROM FileCategory WHERE pk > ? ORDER BY pk", 0), (Keys{news}));
    EXPECT_FALSE(exists(copy));
    EXPECT_EQ(timestamps_->timestampForCategoryList(), "0");
    EXPECT_EQ(timestamps_->timestampForCategoryID("10"), "0");
    EXPECT_TRUE(flag("FILES_WITHOUT_CATEGORY_MIGRATION_DONE"));

    std::int64_t laterOrphan = file(4, 1);
    RemoveFilesWithoutCategoryMigration::migrateRemoveFilesWithoutCategory();
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE pk = ?", laterOrphan), 1);
}

TEST_F(StoreMigrationsTest, ThreeRecordsOfOneLanguageBecomeOneOwningEverything) {
    dropIdentityIndexes();
    auto language = [&](const char* title) {
        return insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 7, title);
    };
    std::int64_t first = language("Deutsch"), second = language("Deutsch"),
                 third = language("Deutsch");
    insertRow("INSERT INTO Locale_users (locale, user) VALUES (?, ?)", first, userKey_);
    insertRow("INSERT INTO Locale_users (locale, user) VALUES (?, ?)", second, bobKey_);
    insertRow("INSERT INTO Locale_users (locale, user) VALUES (?, ?)", third, carolKey_);
    std::int64_t categoryOfSecond = category(70, "Neu", 1, second, 7);
    std::int64_t fileOfThird = file(1, 1);
    insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", fileOfThird, third);
    std::int64_t folder =
        insertRow("INSERT INTO FavoriteFolder (cmsID, title, user, locale) VALUES (?, ?, ?, ?)", 5,
                  "Messe", bobKey_, second);
    CurrentSelection::setLocale(third);
    timestamps_->saveTimestampForCategoryList("list");

    FixDuplicateLocales::migrateFixDuplicateLocales();

    EXPECT_EQ(keys("SELECT pk FROM Locale WHERE cmsID = ?", 7), (Keys{first}));
    EXPECT_EQ(keys("SELECT user FROM Locale_users WHERE locale = ? ORDER BY user", first),
              (Keys{userKey_, bobKey_, carolKey_}));
    EXPECT_EQ(keys("SELECT pk FROM FileCategory WHERE locale = ?", first),
              (Keys{categoryOfSecond}));
    EXPECT_EQ(keys("SELECT file FROM File_locales WHERE locale = ?", first), (Keys{fileOfThird}));
    EXPECT_EQ(keys("SELECT pk FROM FavoriteFolder WHERE locale = ?", first), (Keys{folder}));
    EXPECT_EQ(CurrentSelection::localeKey(), first);
    EXPECT_TRUE(flag("FIX_DUPLICATE_LOCALES_DONE"));
    CurrentSelection::setLocale(localeKey_);
    EXPECT_EQ(timestamps_->timestampForCategoryList(), "0");

    language("Deutsch");
    FixDuplicateLocales::migrateFixDuplicateLocales();
    EXPECT_EQ(scalar("SELECT count(*) FROM Locale WHERE cmsID = ?", 7), 2);
}

TEST_F(StoreMigrationsTest, AnnotationFilesMoveToPerUserNamesOnce) {
    std::int64_t five = file(5, 1);
    file(6, 1);
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", five, userKey_);
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", five, bobKey_);
    insertRow("INSERT INTO ShareFile (customTitle, redliningSalt, file, user) VALUES (?, ?, ?, ?)",
              "Offer", "s1", five, userKey_);
    auto path = [&](const std::string& id) {
        return RedliningMigration::redliningFilePath(*areas_, id);
    };
    ASSERT_EQ(path("5_alice"), areas_->documents() / "redlining" / "5_alice.redlining.plist");
    std::filesystem::create_directories(RedliningMigration::redliningDirectory(*areas_));
    ASSERT_TRUE(FileSystem::writeFileAtomically(path("5"), "five").ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(path("s1_5"), "basket").ok());
    // Bob already drew under the per-user name: that work is newer and stays.
    ASSERT_TRUE(FileSystem::writeFileAtomically(path("5_bob"), "bob's newer work").ok());

    EXPECT_TRUE(RedliningMigration::migrateRedliningFiles());
    EXPECT_EQ(FileSystem::readFile(path("5_alice")).valueOr(""), "five");
    EXPECT_EQ(FileSystem::readFile(path("5_bob")).valueOr(""), "bob's newer work");
    EXPECT_EQ(FileSystem::readFile(path("s1_5_alice")).valueOr(""), "basket");
    EXPECT_FALSE(std::filesystem::exists(path("5")));
    EXPECT_FALSE(std::filesystem::exists(path("s1_5")));
    EXPECT_FALSE(std::filesystem::exists(path("s1_5_bob")));
    EXPECT_TRUE(flag("REDLINING_MIGRATION_DONE"));

    ASSERT_TRUE(FileSystem::writeFileAtomically(path("5"), "again").ok());
    EXPECT_TRUE(RedliningMigration::migrateRedliningFiles());
    EXPECT_TRUE(std::filesystem::exists(path("5")));
}

TEST_F(StoreMigrationsTest, StartUpRunsEveryRepairOnceAndThenLeavesTheStoreAlone) {
    dropIdentityIndexes();
    std::int64_t news = category(10, "News", 1);
    category(50, "Legacy", 1, std::nullopt, 0);
    category(11, std::nullopt, 1);
    std::int64_t older = file(1, 100), newer = file(1, 200);
    link(older, news);
    link(newer, news);
    file(2, 1);  // orphan
    insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 1, "English again");
    std::filesystem::create_directories(RedliningMigration::redliningDirectory(*areas_));
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", newer, userKey_);
    ASSERT_TRUE(FileSystem::writeFileAtomically(RedliningMigration::redliningFilePath(*areas_, "1"),
                                                "drawn")
                    .ok());
    timestamps_->saveTimestampForAllFilesForSync("all");

    CustomMigrations::performMigrations();

    for (const char* done :
         {"REDLINING_MIGRATION_DONE", "FILECATEGORY_MIGRATION_DONE",
          "DUPLICATE_FILES_MIGRATION_DONE", "RESET_TIMESTAMPS_v2.6.8",
          "FILES_WITHOUT_CATEGORY_MIGRATION_DONE", "FIX_DUPLICATE_LOCALES_DONE"}) {
        EXPECT_TRUE(flag(done)) << done;
    }
    EXPECT_TRUE(std::filesystem::exists(RedliningMigration::redliningFilePath(*areas_, "1_alice")));
    EXPECT_EQ(keys("SELECT pk FROM File WHERE pk > ? ORDER BY pk", 0), (Keys{newer}));
    EXPECT_EQ(keys("SELECT pk FROM FileCategory WHERE pk > ? ORDER BY pk", 0), (Keys{news}));
    EXPECT_EQ(keys("SELECT pk FROM Locale WHERE cmsID = ?", 1), (Keys{localeKey_}));
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), "0");

    // A second start finds every flag set: new orphans and duplicates stay, nothing is saved.
    file(3, 1);
    category(12, std::nullopt, 1);
    timestamps_->saveTimestampForAllFilesForSync("next");
    saves_ = 0;
    CustomMigrations::performMigrations();
    EXPECT_EQ(saves_, 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 2);
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), "next");
}

TEST_F(StoreMigrationsTest, WithoutAStoreTheStoreRepairsStayPending) {
    PersistentStore::setShared(nullptr);
    CustomMigrations::performMigrations();
    EXPECT_TRUE(flag("RESET_TIMESTAMPS_v2.6.8"));
    for (const char* pending :
         {"REDLINING_MIGRATION_DONE", "FILECATEGORY_MIGRATION_DONE",
          "DUPLICATE_FILES_MIGRATION_DONE", "FILES_WITHOUT_CATEGORY_MIGRATION_DONE",
          "FIX_DUPLICATE_LOCALES_DONE"}) {
        EXPECT_FALSE(flag(pending)) << pending;
    }
    PersistentStore::setShared(store_);
}

}  // namespace
}  // namespace pagewell
