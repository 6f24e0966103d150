#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/NotificationCenter.h"
#include "store/Database.h"
#include "store/PersistentStore.h"
#include "store/Schema.h"

namespace pagewell {
namespace {

class StoreCoreTest : public ::testing::Test {
  protected:
    void SetUp() override { NotificationCenter::setShared(nullptr); }
    std::filesystem::path storePath() const { return dir.path() / "Database" / "Database.sqlite"; }
    std::shared_ptr<PersistentStore> openStore() {
        auto store = PersistentStore::open(storePath());
        EXPECT_TRUE(store.ok()) << (store.ok() ? "" : store.error().description);
        return store.ok() ? store.value() : nullptr;
    }
    static std::int64_t count(StoreContext& context, const char* sql) {
        auto statement = context.database().prepare(sql);
        EXPECT_TRUE(statement.ok());
        EXPECT_TRUE(statement.value()->step().value());
        std::int64_t value = statement.value()->integer(0);
        statement.value()->reset();
        return value;
    }
    TemporaryDirectory dir;
};

TEST_F(StoreCoreTest, OpeningCreatesTheSchemaInWalModeWithForeignKeysOwnerOnly) {
    auto store = openStore();
    ASSERT_TRUE(store);
    auto& db = store->mainContext().database();
    EXPECT_EQ(Schema::version(db).value(), Schema::kCurrentVersion);
    auto mode = db.prepare("PRAGMA journal_mode");
    ASSERT_TRUE(mode.value()->step().value());
    EXPECT_EQ(mode.value()->text(0), "wal");
    mode.value()->reset();
    EXPECT_EQ(count(store->mainContext(), "PRAGMA foreign_keys"), 1);
    EXPECT_EQ(count(store->mainContext(),
                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                    "('File','FileCategory','FileState','FileSorting','CategorySorting','Locale',"
                    "'User','Thumbnail','Resource','ShareFile','ShareLink','FavoriteFolder',"
                    "'FavoriteFolderRelation','Bookmark','Imprint','Beacon','CustomerLocation',"
                    "'CustomerLocationGroup','QRCode','Contact','Contact_Product','Product',"
                    "'Representation','Businesscard','Photo')"),
              25);
    struct stat info {};
    ASSERT_EQ(::stat(storePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Opening again keeps the data and does not migrate twice.
    ASSERT_TRUE(db.run("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 1, "English").ok());
    store.reset();
    auto reopened = openStore();
    EXPECT_EQ(count(reopened->mainContext(), "SELECT count(*) FROM Locale"), 1);
}

TEST_F(StoreCoreTest, AStoreFromANewerReleaseIsRefused) {
    {
        auto db = Database::open(storePath().parent_path() / "x.sqlite");
        ASSERT_FALSE(db.ok());  // the folder does not exist yet: a clear error, no crash
    }
    ASSERT_TRUE(openStore());
    {
        auto db = Database::open(storePath());
        ASSERT_TRUE(db.value()->exec("PRAGMA user_version = 99").ok());
    }
    auto refused = PersistentStore::open(storePath());
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().description.find("newer"), std::string::npos);
}

TEST_F(StoreCoreTest, IdentityIndexesRejectTwins) {
    auto store = openStore();
    auto& db = store->mainContext().database();
    struct Case {
        const char* why;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {"one File per cmsID", "INSERT INTO File (cmsID) VALUES (7)",
         "INSERT INTO File (cmsID) VALUES (7)"},
        {"one highlight sorting per file and locale although categoryID is empty",
         "INSERT INTO FileSorting (fileID, categoryID, localeID) VALUES (7, NULL, 1)",
         "INSERT INTO FileSorting (fileID, categoryID, localeID) VALUES (7, NULL, 1)"},
        {"one CategorySorting per cmsID", "INSERT INTO CategorySorting (cmsID) VALUES (3)",
         "INSERT INTO CategorySorting (cmsID) VALUES (3)"},
        {"one Locale per cmsID", "INSERT INTO Locale (cmsID) VALUES (1)",
         "INSERT INTO Locale (cmsID) VALUES (1)"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(db.exec(c.first).ok()) << c.why;
        EXPECT_FALSE(db.exec(c.second).ok()) << c.why;
    }
    // The same category in two locales is two records; in one locale it is one.
    ASSERT_TRUE(db.exec("INSERT INTO Locale (cmsID) VALUES (2)").ok());
    EXPECT_TRUE(db.exec("INSERT INTO FileCategory (cmsID, locale) VALUES (5, 1)").ok());
    EXPECT_TRUE(db.exec("INSERT INTO FileCategory (cmsID, locale) VALUES (5, 2)").ok());
    EXPECT_FALSE(db.exec("INSERT INTO FileCategory (cmsID, locale) VALUES (5, 1)").ok());
}

TEST_F(StoreCoreTest, SavedWorkIsSeenByOtherContextsAndAnnouncedUnsavedWorkIsNot) {
    auto store = openStore();
    std::vector<StoreChange> changes;
    NotificationCenter::shared().addObserver(
        StoreContext::kStoreDidChangeEvent,
        [&](const Notification& n) { changes.push_back(*n.userInfoAs<StoreChange>()); });
    auto background = store->newPrivateContext();
    ASSERT_TRUE(background.ok());
    StoreContext& worker = *background.value();
    ASSERT_TRUE(worker.beginWrite().ok());
    ASSERT_TRUE(worker.database().run("INSERT INTO File (cmsID) VALUES (?)", 1).ok());
    worker.noteChanged("File");
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File"), 0);
    EXPECT_TRUE(changes.empty());

    ASSERT_TRUE(worker.save().ok());
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File"), 1);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].touches("File"));
    EXPECT_FALSE(changes[0].fromMainContext);

    // Work that is never saved disappears with its context.
    ASSERT_TRUE(worker.beginWrite().ok());
    ASSERT_TRUE(worker.database().run("INSERT INTO File (cmsID) VALUES (?)", 2).ok());
    background.value().reset();
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File"), 1);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(StoreCoreTest, AfterCommitWorkRunsOnlyOnceTheChangesAreKept) {
    auto store = openStore();
    auto background = store->newPrivateContext();
    ASSERT_TRUE(background.ok());
    StoreContext& worker = *background.value();
    std::vector<std::string> ran;
    auto note = [&ran](std::string what) { return [&ran, what] { ran.push_back(what); }; };

    // Nothing open, nothing to undo: at once.
    worker.afterCommit(note("outside"));
    EXPECT_EQ(ran, std::vector<std::string>{"outside"});

    // Held until COMMIT, and the committed row is visible when it runs.
    ASSERT_TRUE(worker.beginWrite().ok());
    ASSERT_TRUE(worker.database().run("INSERT INTO File (cmsID) VALUES (?)", 1).ok());
    std::int64_t seenByOthers = -1;
    worker.afterCommit(
        [&] { seenByOthers = count(store->mainContext(), "SELECT count(*) FROM File"); });
    worker.afterCommit(note("committed"));
    EXPECT_EQ(ran.size(), 1u);
    ASSERT_TRUE(worker.save().ok());
    EXPECT_EQ(seenByOthers, 1);
    EXPECT_EQ(ran, (std::vector<std::string>{"outside", "committed"}));

    // Rolled back, failed to commit, or dropped with its context: never.
    ASSERT_TRUE(worker.beginWrite().ok());
    worker.afterCommit(note("rolled back"));
    worker.rollback();
    ASSERT_TRUE(worker.save().ok());

    ASSERT_TRUE(worker.database().exec("PRAGMA defer_foreign_keys = ON").ok());
    ASSERT_TRUE(worker.beginWrite().ok());
    ASSERT_TRUE(worker.database().run("INSERT INTO File (cmsID, thumbnail) VALUES (2, 999)").ok());
    worker.afterCommit(note("refused commit"));
    EXPECT_FALSE(worker.save().ok());
    EXPECT_FALSE(worker.inWrite());

    ASSERT_TRUE(worker.beginWrite().ok());
    worker.afterCommit(note("abandoned"));
    background.value().reset();
    EXPECT_EQ(ran, (std::vector<std::string>{"outside", "committed"}));
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File"), 1);
}

TEST_F(StoreCoreTest, AProcessKilledInTheMiddleOfATransactionLeavesAConsistentStore) {
    ASSERT_TRUE(openStore());
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto store = PersistentStore::open(storePath());
        if (!store.ok()) {
            ::_exit(2);
        }
        auto& context = store.value()->mainContext();
        auto& db = context.database();
        (void)context.beginWrite();
        for (int i = 1; i <= 100; ++i) {
            (void)db.run("INSERT INTO File (cmsID, title) VALUES (?, ?)", i, "saved");
        }
        if (!context.save().ok()) {
            ::_exit(3);
        }
        (void)context.beginWrite();
        for (int i = 101; i <= 5000; ++i) {
            (void)db.run("INSERT INTO File (cmsID, title) VALUES (?, ?)", i, "lost");
        }
        ::raise(SIGKILL);  // dies with the second transaction open
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    auto store = openStore();
    ASSERT_TRUE(store);
    auto check = store->mainContext().database().prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.value()->step().value());
    EXPECT_EQ(check.value()->text(0), "ok");
    check.value()->reset();
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File"), 100);
    EXPECT_EQ(count(store->mainContext(), "SELECT count(*) FROM File WHERE title = 'lost'"), 0);
}

}  // namespace
}  // namespace pagewell
