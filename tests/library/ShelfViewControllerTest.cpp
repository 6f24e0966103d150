// The shelf screen's logic over a real store, with the server, the questions and the opening
// of files replaced by recording stand-ins: hand reordering, the position copy and what it
// writes, the search flows, source choice with its warnings, reloads and opening.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "LibraryFixture.h"
#include "library/ShelfViewController.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

class ShelfViewControllerTest : public LibraryFixture {
  protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        UserDefaults::setShared(std::make_shared<UserDefaults>(areas_->userDefaultsFile()));
        MainQueue::setShared(nullptr);
        scope_ = ShelfScope{userKey_, localeKey_, SystemTime{} + 1'800'000'000s, true};
        services_.scope = [this] { return scope_; };
        services_.showWarning = [this](const std::string& text) { warnings_.push_back(text); };
        commits_ = NotificationCenter::shared().addObserver(
            StoreContext::kStoreDidChangeEvent, [this](const Notification&) { ++commitCount_; });
    }
    void TearDown() override {
        NotificationCenter::shared().removeObserver(commits_);
        UserDefaults::setShared(nullptr);
        LibraryFixture::TearDown();
    }

    std::int64_t shelfFile(const std::string& title, const Keys& categories = {},
                           const char* flags = "", bool favourite = false,
                           std::optional<std::int64_t> sortId = std::nullopt) {
        const std::int64_t pk = file(title, categories, flags);
        insertRow("INSERT INTO FileState (file, user, favorite, sortIdManual) VALUES (?, ?, ?, ?)",
                  pk, userKey_, favourite ? 1 : 0, sortId);
        return pk;
    }
    std::vector<std::string> titles(ShelfViewController& shelf) {
        std::vector<std::string> shown;
        auto rows = shelf.results()->rows(0, shelf.results()->count());
        EXPECT_TRUE(rows.ok());
        for (const auto& row : rows.value()) {
            shown.push_back(row.file.title.value_or("?"));
        }
        return shown;
    }
    std::vector<std::int64_t> sortIds(ShelfViewController& shelf) {
        std::vector<std::int64_t> ids;
        auto rows = shelf.results()->rows(0, shelf.results()->count());
        EXPECT_TRUE(rows.ok());
        if (rows.ok()) {
            for (const auto& row : rows.value()) {
                ids.push_back(row.state.sortIdManual.value_or(-1));
            }
        }
        return ids;
    }
    std::shared_ptr<ShelfViewController> shelfOfKind(int kind) {
        auto shelf = ShelfViewController::initWithShelfType(kind, main(), services_);
        EXPECT_TRUE(shelf);
        return shelf;
    }

    ShelfScope scope_;
    ShelfViewController::Services services_;
    std::vector<std::string> warnings_;
    NotificationCenter::Token commits_{};
    int commitCount_ = 0;
};

TEST_F(ShelfViewControllerTest, DraggingHandsRoundTheValuesTheRowsHeld) {
    struct Case {
        std::vector<std::optional<std::int64_t>> held;  // sortIdManual of rows 0..5
        std::size_t from;
        std::size_t to;
        std::vector<std::string> order;
        std::vector<std::int64_t> values;
    };
    const std::vector<Case> cases = {
        // Values equal to row numbers: row 5 to row 2, and row 2 to row 5.
        {{0, 1, 2, 3, 4, 5}, 5, 2, {"a", "b", "f", "c", "d", "e"}, {0, 1, 2, 3, 4, 5}},
        {{0, 1, 2, 3, 4, 5}, 2, 5, {"a", "b", "d", "e", "f", "c"}, {0, 1, 2, 3, 4, 5}},
        // Sparse values (the whole store is numbered): rows keep the shelf's own values.
        {{10, 20, 30, 40, 50, 60}, 4, 1, {"a", "e", "b", "c", "d", "f"}, {10, 20, 30, 40, 50, 60}},
        // Tied values: the shelf is numbered first.
        {{7, 7, 7, 7, 7, 7}, 0, 3, {"b", "c", "d", "a", "e", "f"}, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(main().database().exec("DELETE FROM FileState; DELETE FROM File;").ok());
        const char* names[] = {"a", "b", "c", "d", "e", "f"};
        for (std::size_t i = 0; i < 6; ++i) {
            shelfFile(names[i], {}, "", true, c.held[i]);
        }
        auto shelf = shelfOfKind(3);
        ASSERT_TRUE(shelf->updateContentFilter().ok());
        ASSERT_EQ(titles(*shelf), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
        ASSERT_TRUE(shelf->moveRow(c.from, c.to).ok());
        EXPECT_EQ(titles(*shelf), c.order) << c.from << " to " << c.to;
        EXPECT_EQ(sortIds(*shelf), c.values) << c.from << " to " << c.to;
    }
    auto highlights = shelfOfKind(1);
    ASSERT_TRUE(highlights->updateContentFilter().ok());
    EXPECT_FALSE(highlights->moveRow(0, 1).ok());
}

TEST_F(ShelfViewControllerTest, InitSortIDsNumbersEveryStateDenselyAndWritesNothingTheSecondTime) {
    shelfFile("x", {}, "", true, 40);
    shelfFile("y", {}, "", false, std::nullopt);
    shelfFile("z", {}, "", true, 7);
    auto shelf = shelfOfKind(3);
    ASSERT_TRUE(shelf->initSortIDs().ok());
    EXPECT_EQ(scalar("SELECT sortIdManual FROM FileState s JOIN File f ON f.pk = s.file "
                     "WHERE f.title = 'y'"),
              0);
    EXPECT_EQ(scalar("SELECT sortIdManual FROM FileState s JOIN File f ON f.pk = s.file "
                     "WHERE f.title = 'z'"),
              1);
    EXPECT_EQ(scalar("SELECT sortIdManual FROM FileState s JOIN File f ON f.pk = s.file "
                     "WHERE f.title = 'x'"),
              2);
    const int before = commitCount_;
    ASSERT_TRUE(shelf->initSortIDs().ok());
    EXPECT_EQ(commitCount_, before);
}

TEST_F(ShelfViewControllerTest, RefreshCopiesTheCategoryPositionsOnceAndThenWritesNothing) {
    const std::int64_t category = LibraryFixture::category("Pumps");
    const std::int64_t first = shelfFile("first", {category});
    const std::int64_t second = shelfFile("second", {category});
    const std::int64_t categoryID = scalar("SELECT cmsID FROM FileCategory WHERE pk = ?", category);
    insertRow(
        "INSERT INTO FileSorting (fileID, categoryID, localeID, position) VALUES (?, ?, 1, 7)",
        cmsIDOfFile(first), categoryID);
    insertRow(
        "INSERT INTO FileSorting (fileID, categoryID, localeID, position) VALUES (?, NULL, 1, 3)",
        cmsIDOfFile(second));
    auto shelf = shelfOfKind(2);
    shelf->didSelectCategory(load(category), true, false);
    EXPECT_EQ(scalar("SELECT position FROM FileState WHERE file = ?", first), 7);
    EXPECT_EQ(scalar("SELECT IFNULL(position, -1) FROM FileState WHERE file = ?", second), -1);
    const int before = commitCount_;
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    EXPECT_EQ(commitCount_, before);
    // Outside the category tab the highlight sortings (no category) count.
    auto highlights = ShelfViewController::initWithDatabaseFilter(
        ShelfDatabaseFilter::filterForCategory(load(category)), main(), services_);
    ASSERT_TRUE(highlights->updateContentFilter().ok());
    EXPECT_EQ(scalar("SELECT position FROM FileState WHERE file = ?", second), 3);
    EXPECT_EQ(scalar("SELECT IFNULL(position, -1) FROM FileState WHERE file = ?", first), -1);
}

TEST_F(ShelfViewControllerTest, MarkReadCommitsAtOnceForTheShownFilesOnly) {
    const std::int64_t shown = shelfFile("shown", {}, "highlight = 1");
    const std::int64_t hidden = shelfFile("not shown", {});
    auto shelf = shelfOfKind(1);
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    ASSERT_TRUE(shelf->chooseMenuEntry(ShelfViewController::MenuAction::MarkRead).ok());
    EXPECT_EQ(scalar("SELECT read FROM FileState WHERE file = ?", shown), 1);
    EXPECT_EQ(scalar("SELECT IFNULL(read, 0) FROM FileState WHERE file = ?", hidden), 0);
    shelf->setReadOnly(true);
    EXPECT_FALSE(shelf->markAllDisplayedFilesAsRead().ok());
}

TEST_F(ShelfViewControllerTest, TheActionsMenuOffersSortByUserOnHandOrderedShelvesOnly) {
    auto keys = [](const std::shared_ptr<ShelfViewController>& shelf) {
        std::string joined;
        for (const auto& entry : shelf->actionsMenu()) {
            joined += entry.key + " ";
        }
        return joined;
    };
    EXPECT_EQ(keys(shelfOfKind(1)), "MARK_READ SORT_TITLE SORT_DATE SORT_SERVER CANCEL ");
    EXPECT_EQ(keys(shelfOfKind(3)), "MARK_READ SORT_TITLE SORT_DATE SORT_SERVER SORT_USER CANCEL ");
    EXPECT_FALSE(ShelfViewController::initWithShelfType(5, main(), services_));
    auto locations = shelfOfKind(4);
    shelfFile("anything", {}, "highlight = 1");
    ASSERT_TRUE(locations->didSelectLocation(ShelfLocation{}).ok());
    EXPECT_EQ(locations->results()->count(), 0u);
}

TEST_F(ShelfViewControllerTest, TheSearchButtonSearchesTheServerThenShowsTheKeywordEvenOnFailure) {
    shelfFile("Pump A", {});
    shelfFile("Valve", {}, "highlight = 1");
    std::vector<std::string> asked;
    ShelfViewController::Done answer;
    services_.searchFiles = [&](const std::string& keyword, ShelfViewController::Done,
                                ShelfViewController::Failed failed) {
        asked.push_back(keyword);
        answer = [failed] { failed(Error::make("VXErrorDomain", 100, "Unreachable")); };
    };
    services_.instantSearchEnabled = [] { return false; };
    // A shelf whose first refresh is a search (a fresh connection) searches as well.
    auto typed = shelfOfKind(1);
    ASSERT_TRUE(typed->performSearchWithText("pump").ok());
    EXPECT_EQ(titles(*typed), std::vector<std::string>{"Pump A"});
    auto shelf = shelfOfKind(1);
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    shelf->searchTextChanged("pump");  // instant search off: typing does nothing
    EXPECT_EQ(titles(*shelf), std::vector<std::string>{"Valve"});
    std::optional<Status> ended;
    shelf->startOnlineSearchWithKeyword("pump", [&](const Status& result) { ended = result; });
    EXPECT_TRUE(shelf->isRefreshing());
    answer();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->ok());
    EXPECT_FALSE(shelf->isRefreshing());
    EXPECT_EQ(asked, std::vector<std::string>{"pump"});
    EXPECT_EQ(titles(*shelf), std::vector<std::string>{"Pump A"});
    EXPECT_EQ(shelf->title(), "Search");
    ASSERT_TRUE(shelf->cancelSearch().ok());
    EXPECT_EQ(titles(*shelf), std::vector<std::string>{"Valve"});
}

TEST_F(ShelfViewControllerTest, ChoosingACategoryWarnsWhenItIsEmptyOrCannotBeFetched) {
    const std::int64_t empty = LibraryFixture::category("Empty");
    const std::int64_t full = LibraryFixture::category("Full");
    shelfFile("in full", {full});
    bool fail = true;
    services_.fetchFilesForCategory = [&](std::int64_t, ShelfViewController::Done done,
                                          ShelfViewController::Failed failed) {
        if (fail) {
            failed(Error::make("VXErrorDomain", 100, "Unreachable"));
        } else {
            done();
        }
    };
    auto shelf = shelfOfKind(2);
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    ASSERT_TRUE(shelf->chooseMenuEntry(ShelfViewController::MenuAction::SortTitle).ok());
    shelf->didSelectCategory(load(empty), true, true);
    EXPECT_EQ(warnings_, (std::vector<std::string>{ShelfViewController::kNoConnectionText,
                                                   ShelfViewController::kEmptyCategoryText}));
    warnings_.clear();
    shelf->didSelectCategory(load(full), true, true);
    EXPECT_TRUE(warnings_.empty());
    EXPECT_EQ(titles(*shelf), std::vector<std::string>{"in full"});
    EXPECT_EQ(shelf->title(), "Full");
    EXPECT_EQ(shelf->databaseFilter().customSortDescriptor(), ShelfSortKey::ByTitle);
    // Offline: no fetch, the title says so.
    scope_.reachable = false;
    fail = false;
    shelf->didSelectCategory(load(full), true, true);
    EXPECT_EQ(shelf->title(), "Full (Offlinemode)");
}

TEST_F(ShelfViewControllerTest, AReloadOnAnEmptyStoreAsksAgainUntilOfflineModeOrTheLimit) {
    int fetches = 0;
    int questions = 0;
    services_.fetchCategories = [&](ShelfViewController::Done, ShelfViewController::Failed failed) {
        ++fetches;
        failed(Error::make("VXErrorDomain", 100, "Unreachable"));
    };
    services_.fetchHighlights = [&](ShelfViewController::Done done, ShelfViewController::Failed) {
        done();
    };
    services_.showOfflineModeAlert = [&](std::function<void(bool)> answer) {
        ++questions;
        answer(true);  // declined: keep trying the server
    };
    services_.maxOfflineQuestions = 2;
    auto shelf = shelfOfKind(1);
    std::optional<Status> ended;
    shelf->reloadHighlights([&](const Status& result) { ended = result; });
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->ok());
    EXPECT_EQ(fetches, 3);
    EXPECT_EQ(questions, 2);
    EXPECT_FALSE(shelf->isLoading());
    // With categories stored, a failure just shows what the store holds.
    category("Stored");
    questions = 0;
    shelf->reloadHighlights([&](const Status& result) { ended = result; });
    EXPECT_EQ(questions, 0);
}

TEST_F(ShelfViewControllerTest, ShowingAHighlightsShelfReloadsOnceUntilTheTimerSetsTheFlagAgain) {
    int reloads = 0;
    services_.fetchCategories = [&](ShelfViewController::Done done, ShelfViewController::Failed) {
        ++reloads;
        done();
    };
    services_.fetchHighlights = [](ShelfViewController::Done done, ShelfViewController::Failed) {
        done();
    };
    auto shelf = shelfOfKind(1);
    EXPECT_TRUE(shelf->reloadFlag());
    shelf->viewWillAppear();
    shelf->viewWillAppear();
    EXPECT_EQ(reloads, 1);
    EXPECT_FALSE(shelf->reloadFlag());
}

TEST_F(ShelfViewControllerTest, OpeningFromTheShelfReportsTheEventAndHandsTheFileOn) {
    const std::int64_t pk = shelfFile("Brochure", {}, "highlight = 1");
    std::vector<std::string> events;
    services_.track = [&](int type, const std::string& label, const std::string& screen) {
        events.push_back(std::to_string(type) + "|" + label + "|" + screen);
    };
    std::vector<std::int64_t> opened;
    services_.openFile = [&](const File& file, ShelfViewController::Opened done) {
        opened.push_back(file.pk);
        done({});
    };
    auto shelf = shelfOfKind(1);
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    std::optional<Status> result;
    shelf->openFileAt(0, [&](const Status& status) { result = status; });
    ASSERT_TRUE(result && result->ok());
    EXPECT_EQ(opened, std::vector<std::int64_t>{pk});
    EXPECT_EQ(events, std::vector<std::string>{"3|ID - " + std::to_string(cmsIDOfFile(pk)) +
                                               ", Title - Brochure|ShelfView"});
    shelf->openFileAt(5, [&](const Status& status) { result = status; });
    EXPECT_FALSE(result->ok());
}

TEST_F(ShelfViewControllerTest, ARegionEntryChoosesItsLocationOnlyWhenAutoSelectIsOn) {
    const std::int64_t beaconKey = insertRow("INSERT INTO Beacon (name) VALUES ('Hall 3')");
    const std::int64_t pk = shelfFile("At the beacon", {});
    insertRow("INSERT INTO File_beacons (file, beacon) VALUES (?, ?)", pk, beaconKey);
    bool autoSelect = false;
    services_.autoSelectLocation = [&] { return autoSelect; };
    auto shelf = shelfOfKind(4);
    ASSERT_TRUE(shelf->updateContentFilter().ok());
    const Beacon beacon = *Beacon::find(main(), beaconKey).value();
    ASSERT_TRUE(shelf->didEnterBeacon(beacon).ok());
    EXPECT_EQ(shelf->results()->count(), 0u);
    EXPECT_FALSE(shelf->selectedLocation());
    autoSelect = true;
    ASSERT_TRUE(shelf->didEnterBeacon(beacon).ok());
    EXPECT_EQ(titles(*shelf), std::vector<std::string>{"At the beacon"});
    EXPECT_EQ(shelf->title(), "Hall 3");
    ASSERT_TRUE(shelf->selectedLocation());
}

}  // namespace
}  // namespace pagewell
