// Which file states a shelf filter shows and in which order, run as SQL over a real store:
// windows with open ends, offline against search, literal search text, the natural title
// order, the favourite-folder relation and the live list's re-runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "LibraryFixture.h"
#include "library/ShelfDatabaseFilter.h"
#include "library/ShelfResultList.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

class ShelfDatabaseFilterTest : public LibraryFixture {
  protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        UserDefaults::setShared(std::make_shared<UserDefaults>(areas_->userDefaultsFile()));
        MainQueue::setShared(nullptr);
        scope_.userKey = userKey_;
        scope_.localeKey = localeKey_;
        scope_.now = now_;
        scope_.reachable = true;
    }
    void TearDown() override {
        UserDefaults::setShared(nullptr);
        LibraryFixture::TearDown();
    }

    // The titles the filter shows, in order.
    std::vector<std::string> shown(const ShelfDatabaseFilter& filter) {
        ShelfResultList list(main(), filter, [this] { return scope_; });
        auto fetched = list.performFetch();
        EXPECT_TRUE(fetched.ok()) << (fetched.ok() ? "" : fetched.error().description);
        std::vector<std::string> titles;
        auto rows = list.rows(0, list.count());
        EXPECT_TRUE(rows.ok());
        for (const ShelfResultList::Row& row : rows.value()) {
            titles.push_back(row.file.title.value_or("?"));
        }
        return titles;
    }

    // A file of the current user and locale with its state.
    std::int64_t shelfFile(const std::string& title, const Keys& categories = {},
                           const char* flags = "") {
        const std::int64_t pk = file(title, categories, flags);
        insertRow(
            "INSERT INTO FileState (file, user, read, favorite, pretendDeletion) "
            "VALUES (?, ?, 0, 0, 0)",
            pk, userKey_);
        return pk;
    }
    std::int64_t stateOf(std::int64_t filePk) {
        return scalar("SELECT pk FROM FileState WHERE file = ?", filePk);
    }
    double at(std::chrono::seconds offset) {
        return std::chrono::duration<double>((now_ + offset).time_since_epoch()).count();
    }

    SystemTime now_ = SystemTime{} + 1'800'000'000s;
    ShelfScope scope_;
};

TEST_F(ShelfDatabaseFilterTest,
       HighlightAndPublicationWindowsAreInclusiveAndOpenWhereAnEndIsEmpty) {
    struct Case {
        const char* title;
        std::optional<std::chrono::seconds> start;
        std::optional<std::chrono::seconds> end;
        bool shown;
    };
    const std::vector<Case> cases = {
        {"no window", std::nullopt, std::nullopt, true},
        {"inside", -10s, 10s, true},
        {"ended a second ago", -10s, -1s, false},
        {"ends now", -10s, 0s, true},
        {"starts now", 0s, 10s, true},
        {"starts later", 1s, 10s, false},
        {"start only, begun", -10s, std::nullopt, true},
        {"start only, later", 5s, std::nullopt, false},
        {"end only, open", std::nullopt, 5s, true},
        {"end only, ended", std::nullopt, -5s, false},
    };
    for (const Case& c : cases) {
        const std::int64_t highlight = shelfFile(std::string("h ") + c.title, {}, "highlight = 1");
        const std::int64_t published = shelfFile(std::string("p ") + c.title, {});
        const std::int64_t category = LibraryFixture::category("C");
        insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", published,
                  category);
        auto set = [&](std::int64_t pk, const char* column, std::optional<std::chrono::seconds> v) {
            if (v) {
                ASSERT_TRUE(main()
                                .database()
                                .run(std::string("UPDATE File SET ") + column + " = ? WHERE pk = ?",
                                     at(*v), pk)
                                .ok());
            }
        };
        set(highlight, "highlightStart", c.start);
        set(highlight, "highlightEnd", c.end);
        set(published, "publishStart", c.start);
        set(published, "publishEnd", c.end);
        const auto highlights = shown(ShelfDatabaseFilter::filterForHighlightFiles());
        const auto inCategory = shown(ShelfDatabaseFilter::filterForCategory(load(category)));
        const bool highlightShown = std::find(highlights.begin(), highlights.end(),
                                              std::string("h ") + c.title) != highlights.end();
        EXPECT_EQ(highlightShown, c.shown) << "highlight " << c.title;
        EXPECT_EQ(inCategory.size() == 1, c.shown) << "publication " << c.title;
    }
}

TEST_F(ShelfDatabaseFilterTest, OfflineASourceShowsLocalCopiesOnlyWhileSearchStillListsEverything) {
    const std::int64_t category = LibraryFixture::category("Pumps");
    shelfFile("Pump local", {category}, "downloaded = 1");
    shelfFile("Pump update", {category}, "downloaded = 0, updateAvailable = 1");
    shelfFile("Pump never fetched", {category}, "downloaded = 0");
    const auto filter = ShelfDatabaseFilter::filterForCategory(load(category));
    auto search = filter;
    search.searchForString("pump");
    EXPECT_EQ(shown(filter).size(), 3u);
    scope_.reachable = false;
    EXPECT_EQ(shown(filter), (std::vector<std::string>{"Pump local", "Pump update"}));
    EXPECT_EQ(shown(search).size(), 3u);
}

TEST_F(ShelfDatabaseFilterTest, SearchMatchesTheWholeTitleOrAnyMetatagWordLiterallyAndFolded) {
    shelfFile("Colours red, blue; green", {});
    shelfFile("Only blue in tags", {}, "metatags = 'sky,BLUE'");
    shelfFile("Nothing", {}, "metatags = 'yellow'");
    shelfFile("Grün und Rot", {});
    shelfFile("100% cotton_wool \\ 'quoted'", {});
    shelfFile("1000 cottonXwool", {});
    // Another user's and another locale's files never match.
    const std::int64_t bob = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
    const std::int64_t bobs = insertRow("INSERT INTO File (cmsID, title) VALUES (9001, 'red')");
    insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", bobs, localeKey_);
    insertRow("INSERT INTO FileState (file, user) VALUES (?, ?)", bobs, bob);

    struct Case {
        std::string text;
        std::vector<std::string> titles;
    };
    const std::vector<Case> cases = {
        {"red, blue; green", {"Colours red, blue; green", "Only blue in tags"}},
        {"GRUN", {"Grün und Rot"}},
        {"100%", {"100% cotton_wool \\ 'quoted'"}},
        {"n_w", {"100% cotton_wool \\ 'quoted'"}},
        {"\\ 'quoted'", {"100% cotton_wool \\ 'quoted'"}},
        {"%", {"100% cotton_wool \\ 'quoted'"}},
        {std::string(ShelfDatabaseFilter::kMaxSearchBytes + 1, 'o'), {}},
    };
    for (const Case& c : cases) {
        auto filter = ShelfDatabaseFilter::filterForHighlightFiles();
        filter.searchForString(c.text);
        EXPECT_EQ(shown(filter), c.titles) << c.text.substr(0, 40);
        EXPECT_EQ(*filter.filterTitle(), "Search");
    }
}

TEST_F(ShelfDatabaseFilterTest, TitleOrderIsNaturalIgnoresCaseAndAccentsAndBreaksTiesByRowKey) {
    const std::int64_t category = LibraryFixture::category("C");
    for (const char* title : {"File 10", "file 9", "Äpfel", "apfel", "Birne", "File 100"}) {
        shelfFile(title, {category});
    }
    auto filter = ShelfDatabaseFilter::filterForCategory(load(category));
    filter.sortByTitle();
    EXPECT_EQ(shown(filter), (std::vector<std::string>{"Äpfel", "apfel", "Birne", "file 9",
                                                       "File 10", "File 100"}));
    EXPECT_EQ(UserDefaults::shared().integerValue(ShelfDatabaseFilter::kSortDefaultsKey), 1);
}

TEST_F(ShelfDatabaseFilterTest, SortKeysFollowSearchExplicitChoicePersistedChoiceAndShelfKind) {
    using SortKeys = std::optional<std::vector<ShelfSortKey>>;
    // A fresh install: newest first on the highlight and category shelves.
    EXPECT_EQ(ShelfDatabaseFilter::filterForHighlightFiles().sortDescriptors(),
              SortKeys({ShelfSortKey::ByLastModified}));
    ASSERT_TRUE(UserDefaults::shared().set(ShelfDatabaseFilter::kSortDefaultsKey, 3).ok());
    EXPECT_EQ(ShelfDatabaseFilter::filterForCategory(load(category("C"))).sortDescriptors(),
              SortKeys({ShelfSortKey::ByServerSetting}));
    ASSERT_TRUE(UserDefaults::shared().set(ShelfDatabaseFilter::kSortDefaultsKey, 7).ok());
    EXPECT_EQ(ShelfDatabaseFilter::filterForHighlightFiles().sortDescriptors(),
              SortKeys({ShelfSortKey::ByLastModified}));
    auto favourites = ShelfDatabaseFilter::filterForFavorites();
    EXPECT_TRUE(favourites.allowsManualSorting());
    EXPECT_EQ(favourites.sortDescriptors(),
              SortKeys({ShelfSortKey::ByManualChoice, ShelfSortKey::ByLastModified}));
    favourites.sortByServerSetting();
    EXPECT_EQ(favourites.sortDescriptors(), SortKeys({ShelfSortKey::ByServerSetting}));
    favourites.searchForString("x");
    EXPECT_EQ(favourites.sortDescriptors(), SortKeys({ShelfSortKey::ByTitle}));
    favourites.searchForString("");
    favourites.sortByManualChoice();
    EXPECT_EQ(favourites.sortDescriptors(),
              SortKeys({ShelfSortKey::ByManualChoice, ShelfSortKey::ByLastModified}));
    EXPECT_FALSE(ShelfDatabaseFilter::filterForQRCode(std::nullopt).sortDescriptors());
    EXPECT_FALSE(ShelfDatabaseFilter::filterForHighlightFiles().allowsManualSorting());
}

TEST_F(ShelfDatabaseFilterTest, AFolderShowsFavouritesWhoseRelationToThatFolderIsLive) {
    const std::int64_t kept = shelfFile("kept", {}, "");
    const std::int64_t removedHere = shelfFile("removed here", {});
    const std::int64_t removedElsewhere = shelfFile("removed elsewhere", {});
    const std::int64_t notFavourite = shelfFile("not favourite", {});
    ASSERT_TRUE(main()
                    .database()
                    .run("UPDATE FileState SET favorite = 1 WHERE file <> ?", notFavourite)
                    .ok());
    const std::int64_t folder =
        insertRow("INSERT INTO FavoriteFolder (title, user, locale) VALUES ('F', ?, ?)", userKey_,
                  localeKey_);
    const std::int64_t other =
        insertRow("INSERT INTO FavoriteFolder (title, user, locale) VALUES ('G', ?, ?)", userKey_,
                  localeKey_);
    auto relate = [&](std::int64_t filePk, std::int64_t folderPk, int deleted) {
        insertRow(
            "INSERT INTO FavoriteFolderRelation (fileState, folder, pretendDeletion) "
            "VALUES (?, ?, ?)",
            stateOf(filePk), folderPk, deleted);
    };
    relate(kept, folder, 0);
    relate(removedHere, folder, 1);
    relate(removedElsewhere, folder, 0);
    relate(removedElsewhere, other, 1);
    relate(notFavourite, folder, 0);
    const FavoriteFolder f = *FavoriteFolder::find(main(), folder).value();
    auto filter = ShelfDatabaseFilter::filterForFavoriteFolder(f);
    filter.sortByTitle();
    EXPECT_EQ(shown(filter), (std::vector<std::string>{"kept", "removed elsewhere"}));
    EXPECT_EQ(*filter.filterTitle(), "F");
}

TEST_F(ShelfDatabaseFilterTest, NothingShowsWithoutACurrentLocaleOrWithoutABeacon) {
    shelfFile("anything", {}, "highlight = 1");
    EXPECT_EQ(shown(ShelfDatabaseFilter::filterForHighlightFiles()).size(), 1u);
    EXPECT_EQ(shown(ShelfDatabaseFilter::filterForBeacon(std::nullopt)).size(), 0u);
    EXPECT_FALSE(ShelfDatabaseFilter::filterForBeacon(std::nullopt).filterTitle());
    scope_.localeKey.reset();
    EXPECT_EQ(shown(ShelfDatabaseFilter::filterForHighlightFiles()).size(), 0u);
    EXPECT_EQ(shown(ShelfDatabaseFilter::filterForAllFiles()).size(), 0u);
}

TEST_F(ShelfDatabaseFilterTest,
       TheLiveListReadsInBatchesAndReRunsOnOtherContextsCommitsWithoutWriting) {
    for (int i = 0; i < 250; ++i) {
        shelfFile("f" + std::to_string(1000 + i), {}, "highlight = 1");
    }
    auto filter = ShelfDatabaseFilter::filterForHighlightFiles();
    filter.sortByTitle();
    ShelfResultList list(main(), filter, [this] { return scope_; });
    ASSERT_TRUE(list.performFetch().ok());
    ASSERT_EQ(list.count(), 250u);
    auto last = list.rowAt(249);
    ASSERT_TRUE(last.ok() && last.value());
    EXPECT_EQ(last.value()->file.title, "f1249");
    EXPECT_EQ(last.value()->state.user, userKey_);
    EXPECT_EQ(list.rows(95, 10).value().size(), 10u);

    int changes = 0;
    list.setChangeCallback([&] { ++changes; });
    {
        auto background = store_->newPrivateContext();
        ASSERT_TRUE(background.ok());
        StoreContext& other = *background.value();
        ASSERT_TRUE(other.beginWrite().ok());
        ASSERT_TRUE(
            other.database().run("UPDATE File SET highlight = 0 WHERE title = 'f1000'").ok());
        other.noteChanged("File");
        ASSERT_TRUE(other.save().ok());
        ASSERT_TRUE(other.beginWrite().ok());
        ASSERT_TRUE(
            other.database().run("UPDATE File SET highlight = 0 WHERE title = 'f1001'").ok());
        other.noteChanged("File");
        ASSERT_TRUE(other.save().ok());
    }
    ASSERT_TRUE(MainQueue::shared().runUntil([&] { return changes > 0; }, 5s));
    MainQueue::shared().runFor(50ms);
    EXPECT_EQ(changes, 1);  // two commits in a row, one re-run
    EXPECT_EQ(list.count(), 248u);
    EXPECT_EQ(list.rowAt(0).value()->file.title, "f1002");
    // The re-run itself wrote nothing: no commit from this connection since.
    const std::int64_t total = scalar("SELECT total_changes()");
    ASSERT_TRUE(list.performFetch().ok());
    EXPECT_EQ(scalar("SELECT total_changes()"), total);
    EXPECT_NE(list.statements().front().find("ORDER BY f.title COLLATE shelf_title_"),
              std::string::npos);
}

}  // namespace
}  // namespace pagewell
