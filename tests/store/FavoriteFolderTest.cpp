// Favourite folders and their file relations: the queries the favourites screens and the
// favourites sync run, each with records that must not match.
#include <gtest/gtest.h>

#include "store/FavoriteFolder.h"
#include "store/FavoriteFolderRelation.h"
#include "store/SideEntityTestSupport.h"

namespace pagewell {
namespace {

class FavoriteFolderTest : public SideEntityTest {
  protected:
    void SetUp() override {
        SideEntityTest::SetUp();
        bob_ = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
        german_ = insertRow("INSERT INTO Locale (cmsID, title) VALUES (2, 'Deutsch')");
    }

    std::int64_t folder(const std::string& title, std::int64_t user, std::int64_t locale,
                        bool synced, bool hidden, std::optional<std::int64_t> cmsID) {
        FavoriteFolder folder;
        folder.title = title;
        folder.userKey = user;
        folder.localeKey = locale;
        folder.synced = synced;
        folder.pretendDeletion = hidden;
        folder.cmsID = cmsID;
        EXPECT_TRUE(folder.update(main()).ok());
        return folder.pk;
    }
    static std::vector<std::string> titles(const std::vector<FavoriteFolder>& folders) {
        std::vector<std::string> result;
        for (const auto& f : folders) {
            result.push_back(f.title.value_or("(none)"));
        }
        return result;
    }

    std::int64_t bob_ = 0;
    std::int64_t german_ = 0;
};

TEST_F(FavoriteFolderTest, VisibleFoldersAreTheUsersUnmarkedFoldersOfTheLocaleByTitle) {
    folder("Trade fair", userKey_, localeKey_, true, false, 1);
    folder("Customers", userKey_, localeKey_, false, false, std::nullopt);
    folder("Old", userKey_, localeKey_, true, true, 3);  // marked as deleted
    folder("Bob's", bob_, localeKey_, true, false, 4);   // another user's
    folder("Messe", userKey_, german_, true, false, 5);  // another locale
    ASSERT_TRUE(main().save().ok());

    auto visible = FavoriteFolder::visibleFolders(main(), userKey_, localeKey_);
    ASSERT_TRUE(visible.ok());
    EXPECT_EQ(titles(visible.value()), (std::vector<std::string>{"Customers", "Trade fair"}));
}

TEST_F(FavoriteFolderTest, FoldersToSendAreUnsyncedOrNeverSent) {
    folder("Renamed", userKey_, localeKey_, false, false, 1);
    folder("Deleted here", userKey_, localeKey_, false, true, 2);
    folder("New", userKey_, localeKey_, true, false, std::nullopt);  // never reached the server
    folder("Known", userKey_, localeKey_, true, false, 3);           // the server is up to date
    folder("Bob's", bob_, localeKey_, false, false, std::nullopt);   // another user's
    folder("Messe", userKey_, german_, false, false, std::nullopt);  // another locale
    ASSERT_TRUE(main().save().ok());

    auto toSend = FavoriteFolder::foldersToSend(main(), userKey_, localeKey_, std::nullopt);
    ASSERT_TRUE(toSend.ok());
    EXPECT_EQ(titles(toSend.value()), (std::vector<std::string>{"Deleted here", "New", "Renamed"}));

    auto withKnown = FavoriteFolder::foldersToSend(main(), userKey_, localeKey_, 3);
    EXPECT_EQ(titles(withKnown.value()),
              (std::vector<std::string>{"Deleted here", "Known", "Renamed"}));
}

TEST_F(FavoriteFolderTest, RelationsToSendAndTheRelationOfAStateAndFolder) {
    std::int64_t file = insertFile(12, "Brochure");
    std::int64_t state =
        insertRow("INSERT INTO FileState (file, user) VALUES (?, ?)", file, userKey_);
    std::int64_t bobState =
        insertRow("INSERT INTO FileState (file, user) VALUES (?, ?)", file, bob_);
    std::int64_t mine = folder("Mine", userKey_, localeKey_, true, false, 1);
    std::int64_t other = folder("Other", userKey_, localeKey_, true, false, 2);
    std::int64_t german = folder("Messe", userKey_, german_, true, false, 3);
    std::int64_t bobs = folder("Bob's", bob_, localeKey_, true, false, 4);

    auto relation = [&](std::optional<std::int64_t> folderKey, std::int64_t stateKey, bool synced) {
        FavoriteFolderRelation r;
        r.folderKey = folderKey;
        r.fileStateKey = stateKey;
        r.synced = synced;
        EXPECT_TRUE(r.update(main()).ok());
        return r.pk;
    };
    std::int64_t pending = relation(mine, state, false);
    relation(other, state, true);          // the server knows it
    relation(german, state, false);        // a folder of another locale
    relation(bobs, bobState, false);       // another user's folder
    relation(std::nullopt, state, false);  // no folder: sent when made, never here
    ASSERT_TRUE(main().save().ok());

    auto toSend = FavoriteFolderRelation::relationsToSend(main(), userKey_, localeKey_);
    ASSERT_TRUE(toSend.ok());
    ASSERT_EQ(toSend.value().size(), 1u);
    EXPECT_EQ(toSend.value()[0].pk, pending);

    auto found = FavoriteFolderRelation::relationForFileState(main(), state, mine);
    ASSERT_TRUE(found.ok());
    ASSERT_TRUE(found.value().has_value());
    EXPECT_EQ(found.value()->pk, pending);
    EXPECT_FALSE(
        FavoriteFolderRelation::relationForFileState(main(), bobState, mine).value().has_value());
    EXPECT_EQ(FavoriteFolderRelation::relationsOfFileState(main(), state).value().size(), 4u);

    FavoriteFolderRelation twin;
    twin.folderKey = mine;
    twin.fileStateKey = state;
    EXPECT_FALSE(twin.update(main()).ok()) << "one relation per state and folder";
}

TEST_F(FavoriteFolderTest, DeletingAFolderTakesItsRelations) {
    std::int64_t file = insertFile(12, "Brochure");
    std::int64_t state =
        insertRow("INSERT INTO FileState (file, user) VALUES (?, ?)", file, userKey_);
    FavoriteFolder f;
    f.title = "Mine";
    f.userKey = userKey_;
    f.localeKey = localeKey_;
    ASSERT_TRUE(f.update(main()).ok());
    FavoriteFolderRelation r;
    r.folderKey = f.pk;
    r.fileStateKey = state;
    ASSERT_TRUE(r.update(main()).ok());
    ASSERT_EQ(f.fileRelations(main()).value().size(), 1u);

    ASSERT_TRUE(f.deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM FavoriteFolderRelation"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileState"), 1);
}

TEST_F(FavoriteFolderTest, DeleteAllExceptKeepsListedAndNeverSentFolders) {
    folder("Listed", userKey_, localeKey_, true, false, 1);
    folder("Gone on the server", userKey_, localeKey_, true, false, 2);
    folder("New", userKey_, localeKey_, false, false, std::nullopt);
    ASSERT_TRUE(FavoriteFolder::deleteAllExcept(main(), {1}).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(titles(FavoriteFolder::visibleFolders(main(), userKey_, localeKey_).value()),
              (std::vector<std::string>{"Listed", "New"}));
    EXPECT_TRUE(FavoriteFolder::findWithID(main(), 1).value().has_value());
    EXPECT_FALSE(FavoriteFolder::findWithID(main(), 2).value().has_value());
}

}  // namespace
}  // namespace pagewell
