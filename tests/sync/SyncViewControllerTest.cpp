// The synchronisation screen's actions: download all with its three questions, delete all,
// refresh, start and cancel on rows, the offline answers, and the tree it lists under a filter
// or a search text.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "store/FileSizeText.h"
#include "sync/SyncViewFixture.h"

namespace pagewell {
namespace {

using DownloadAll = SyncViewController::DownloadAllResult;
using DeleteAll = SyncViewController::DeleteAllResult;
using Refresh = SyncViewController::RefreshResult;
using StartFile = SyncViewController::StartFileResult;
using StartCategory = SyncViewController::StartCategoryResult;

// Keeps the one result an action reports, and counts the reports.
template <class T>
struct Outcome {
    int reports = 0;
    std::optional<T> result;
    std::function<void(const T&)> callback() {
        return [this](const T& value) {
            ++reports;
            result = value;
        };
    }
};

class SyncViewControllerTest : public SyncViewFixture {
  protected:
    void SetUp() override {
        SyncViewFixture::SetUp();
        root_ = category("Root");
        makeManager();
        makeController();
    }

    // Lets anything the action posted run, so that a second report would be seen.
    void settle() { MainQueue::shared().poll(); }

    std::int64_t root_ = 0;
};

TEST_F(SyncViewControllerTest, DownloadAllWithNothingToDownloadSaysSoAndQueuesNothing) {
    fileWithState("present", {root_}, "size = 100, downloaded = 1");
    Outcome<DownloadAll> outcome;
    controller_->downloadAll(outcome.callback());

    const Alert& alert = lastAlert().alert;
    EXPECT_EQ(alert.title, "Sync");
    EXPECT_EQ(alert.message, "There are no files to download");
    EXPECT_EQ(alert.buttonTitle(0), "Ok");
    EXPECT_EQ(outcome.reports, 0);  // the alert is still open
    presenter_->answer(lastAlert().id, 0);
    settle();
    EXPECT_EQ(outcome.reports, 1);
    EXPECT_EQ(outcome.result->ending, DownloadAll::Ending::NothingToDownload);
    EXPECT_TRUE(downloads_.made().empty());
    EXPECT_EQ(renewals_, 0);
}

TEST_F(SyncViewControllerTest, DownloadAllNeedingMoreThanTheFreeSpaceRefusesWithTheSize) {
    fileWithState("big", {root_}, "size = 3000000, downloaded = 0");
    fileWithState("small", {root_}, "size = 1000, downloaded = 0");
    freeSpace_ = 2'000'000;
    Outcome<DownloadAll> outcome;
    controller_->downloadAll(outcome.callback());

    ASSERT_FALSE(askedSpace_.empty());
    const std::uint64_t needed = askedSpace_.back();
    EXPECT_GE(needed, 3'001'000u);
    const Alert& alert = lastAlert().alert;
    EXPECT_EQ(alert.title, "Not enough disk space");
    EXPECT_EQ(alert.message, "Not enough space to download " +
                                 FileSizeText::stringFromFileSize(needed) +
                                 " data. Please free some space to start the sync process.");
    presenter_->answer(lastAlert().id, 0);
    settle();
    EXPECT_EQ(outcome.reports, 1);
    EXPECT_EQ(outcome.result->ending, DownloadAll::Ending::NotEnoughSpace);
    EXPECT_EQ(outcome.result->neededBytes, needed);
    EXPECT_TRUE(downloads_.made().empty());
}

TEST_F(SyncViewControllerTest, DownloadAllAsksToStartAndNoLeavesEverythingAsItWas) {
    fileWithState("missing", {root_}, "size = 2048, downloaded = 0");
    Outcome<DownloadAll> outcome;
    controller_->downloadAll(outcome.callback());

    const Alert& alert = lastAlert().alert;
    EXPECT_EQ(alert.title, "Start sync");
    EXPECT_EQ(alert.message, "The sync process uses " +
                                 FileSizeText::stringFromFileSize(askedSpace_.back()) +
                                 " disk space. Do you want to start the sync process.");
    EXPECT_EQ(alert.buttonTitle(alert.cancelButtonIndex()), "No");
    EXPECT_EQ(alert.buttonTitle(alert.firstOtherButtonIndex()), "Yes");
    presenter_->answer(lastAlert().id, alert.cancelButtonIndex());
    settle();
    EXPECT_EQ(outcome.result->ending, DownloadAll::Ending::Declined);
    EXPECT_TRUE(downloads_.made().empty());
    EXPECT_TRUE(display_->events.empty());
    EXPECT_FALSE(controller_->isSyncInProgress());
}

TEST_F(SyncViewControllerTest,
       DownloadAllAfterYesDownloadsWhatTheFilterShowsAndTurnsTheButtonsBack) {
    const std::int64_t missing = fileWithState("missing", {root_}, "size = 10, downloaded = 0");
    const std::int64_t outdated =
        fileWithState("outdated", {root_}, "size = 10, downloaded = 1, updateAvailable = 1");
    fileWithState("present", {root_}, "size = 10, downloaded = 1");
    const std::int64_t other = category("Other");
    fileWithState("elsewhere", {other}, "size = 10, downloaded = 0");
    // Only files whose title has "out" are shown, so only they are downloaded.
    controller_->setSearchText("OUT");
    Outcome<DownloadAll> outcome;
    controller_->downloadAll(outcome.callback());
    presenter_->answer(lastAlert().id, lastAlert().alert.firstOtherButtonIndex());
    EXPECT_TRUE(controller_->isSyncInProgress());
    EXPECT_EQ(display_->events, std::vector<std::string>{"buttons busy"});

    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    EXPECT_EQ(downloads_.fileIDs(), std::vector<std::int64_t>{cmsIDOfFile(outdated)});
    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return outcome.reports > 0; }));
    settle();
    EXPECT_EQ(outcome.reports, 1);
    EXPECT_EQ(outcome.result->ending, DownloadAll::Ending::Downloaded);
    ASSERT_TRUE(outcome.result->downloads.has_value());
    EXPECT_EQ(outcome.result->downloads->summary.downloaded,
              std::vector<std::int64_t>{cmsIDOfFile(outdated)});
    ASSERT_EQ(display_->finishedFiles.size(), 1u);
    EXPECT_EQ(display_->finishedFiles.front().fileID, cmsIDOfFile(outdated));
    EXPECT_EQ(display_->rowReloads, 1);
    EXPECT_EQ(display_->events, (std::vector<std::string>{"buttons busy", "buttons idle"}));
    EXPECT_FALSE(controller_->isSyncInProgress());
    EXPECT_FALSE(manager_->isInDownloadQueueWithFileID(cmsIDOfFile(missing)));
}

TEST_F(SyncViewControllerTest, DownloadAllWhileASyncRunsStopsIt) {
    fileWithState("a", {root_}, "size = 10, downloaded = 0");
    fileWithState("b", {root_}, "size = 10, downloaded = 0");
    Outcome<DownloadAll> first;
    controller_->downloadAll(first.callback());
    presenter_->answer(lastAlert().id, lastAlert().alert.firstOtherButtonIndex());
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 2; }));
    ASSERT_TRUE(manager_->isSyncActive());
    const int treesBefore = display_->treeChanges;
    const std::size_t alertsBefore = presenter_->shown.size();

    Outcome<DownloadAll> second;
    controller_->downloadAll(second.callback());
    ASSERT_TRUE(pump([&] { return second.reports > 0 && first.reports > 0; }));
    settle();
    EXPECT_EQ(second.result->ending, DownloadAll::Ending::Stopped);
    EXPECT_EQ(presenter_->shown.size(), alertsBefore);  // no question this time
    EXPECT_FALSE(manager_->isActive());
    EXPECT_TRUE(manager_->queuedFileIDs().empty());
    EXPECT_FALSE(controller_->isSyncInProgress());
    EXPECT_EQ(display_->treeChanges, treesBefore + 1);
    EXPECT_EQ(first.reports, 1);
    EXPECT_EQ(second.reports, 1);
}

TEST_F(SyncViewControllerTest, OfflineEveryServerActionAsksAboutOfflineModeInstead) {
    const std::int64_t missing = fileWithState("missing", {root_}, "size = 10, downloaded = 0");
    reachable_ = false;
    Outcome<Refresh> refresh;
    Outcome<DownloadAll> downloadAll;
    Outcome<StartFile> startFile;
    Outcome<StartCategory> startCategory;
    controller_->refresh(refresh.callback());
    controller_->downloadAll(downloadAll.callback());
    controller_->startDownloadForFile(loadFile(missing), startFile.callback());
    controller_->startDownloadForCategory(load(root_), startCategory.callback());
    settle();

    EXPECT_EQ(offlineQuestions_, 4);
    EXPECT_EQ(refresh.result->ending, Refresh::Ending::Offline);
    EXPECT_EQ(downloadAll.result->ending, DownloadAll::Ending::Offline);
    EXPECT_EQ(startFile.result->ending, StartFile::Ending::Offline);
    EXPECT_EQ(startCategory.result->ending, StartCategory::Ending::Offline);
    EXPECT_EQ(catalogueSyncs_, 0);
    EXPECT_EQ(renewals_, 0);
    EXPECT_TRUE(downloads_.made().empty());
    EXPECT_TRUE(presenter_->shown.empty());
}

TEST_F(SyncViewControllerTest, RefreshSynchronisesUnderTheOverlayUnlessDownloadsRun) {
    Outcome<Refresh> refresh;
    controller_->refresh(refresh.callback());
    ASSERT_TRUE(pump([&] { return refresh.reports > 0; }));
    EXPECT_EQ(refresh.result->ending, Refresh::Ending::Refreshed);
    EXPECT_EQ(catalogueSyncs_, 1);
    EXPECT_EQ(display_->events, (std::vector<std::string>{"overlay on", "overlay off"}));
    EXPECT_EQ(display_->treeChanges, 1);

    catalogueError_ = Error::make("VXErrorDomain", 1, "Error while importing categories.");
    Outcome<Refresh> failed;
    controller_->refresh(failed.callback());
    ASSERT_TRUE(pump([&] { return failed.reports > 0; }));
    EXPECT_EQ(failed.result->ending, Refresh::Ending::Failed);
    EXPECT_EQ(failed.result->error, catalogueError_);
    EXPECT_EQ(display_->events.back(), "overlay off");

    const std::int64_t missing = fileWithState("missing", {root_}, "downloaded = 0");
    manager_->downloadFileWithID(
        cmsIDOfFile(missing), [] {}, {}, [](const Error&) {});
    Outcome<Refresh> busy;
    controller_->refresh(busy.callback());
    settle();
    EXPECT_EQ(busy.result->ending, Refresh::Ending::DownloadsActive);
    EXPECT_EQ(catalogueSyncs_, 2);
}

TEST_F(SyncViewControllerTest, DeleteAllAsksThenRemovesEveryDownloadedFileOfTheUser) {
    const std::int64_t present = fileWithState("present", {root_}, "downloaded = 1");
    const std::int64_t outdated =
        fileWithState("outdated", {root_}, "downloaded = 1, updateAvailable = 1");
    const std::int64_t missing = fileWithState("missing", {root_}, "downloaded = 0");
    Outcome<DeleteAll> declined;
    controller_->deleteAll(declined.callback());
    const Alert& question = lastAlert().alert;
    EXPECT_EQ(question.message, "Do you really want to delete all files?");
    EXPECT_EQ(question.buttonTitle(question.cancelButtonIndex()), "No");
    presenter_->answer(lastAlert().id, question.cancelButtonIndex());
    EXPECT_EQ(declined.result->ending, DeleteAll::Ending::Declined);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE downloaded = 1"), 2);

    Outcome<DeleteAll> deleted;
    controller_->deleteAll(deleted.callback());
    presenter_->answer(lastAlert().id, lastAlert().alert.firstOtherButtonIndex());
    ASSERT_TRUE(pump([&] { return deleted.reports > 0; }));
    EXPECT_EQ(deleted.result->ending, DeleteAll::Ending::Deleted);
    EXPECT_EQ(deleted.result->deletedFiles, 2u);
    for (std::int64_t pk : {present, outdated}) {
        EXPECT_EQ(scalar("SELECT downloaded FROM File WHERE pk = ?", pk), 0);
        EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", pk), 1);
    }
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", missing), 0);
    EXPECT_TRUE(log_->contains("deleting files finished"));
    EXPECT_EQ(display_->events,
              (std::vector<std::string>{"overlay on", "buttons off", "buttons on", "overlay off"}));
    EXPECT_EQ(display_->treeChanges, 1);
}

TEST_F(SyncViewControllerTest, StartingAFileUnhidesALocalCopyQueuesAMissingOneOnce) {
    const std::int64_t hidden =
        fileWithState("hidden", {root_}, "size = 10, downloaded = 1", "pretendDeletion = 1");
    const std::int64_t missing = fileWithState("missing", {root_}, "size = 10, downloaded = 0");
    Outcome<StartFile> unhidden;
    controller_->startDownloadForFile(loadFile(hidden), unhidden.callback());
    settle();
    EXPECT_EQ(unhidden.result->ending, StartFile::Ending::Unhidden);
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", hidden), 0);
    EXPECT_FALSE(main().inWrite());

    Outcome<StartFile> queued;
    Outcome<StartFile> again;
    controller_->startDownloadForFile(loadFile(missing), queued.callback());
    controller_->startDownloadForFile(loadFile(missing), again.callback());
    settle();
    EXPECT_EQ(again.result->ending, StartFile::Ending::AlreadyQueued);
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    EXPECT_EQ(queued.reports, 0);
    downloads_.made().front()->fail(Error::make("VXFileDownload", -100, "broken"));
    ASSERT_TRUE(pump([&] { return queued.reports > 0; }));
    EXPECT_EQ(queued.result->ending, StartFile::Ending::Failed);
    EXPECT_EQ(queued.result->error->description, "broken");
    EXPECT_EQ(downloads_.made().size(), 1u);
}

TEST_F(SyncViewControllerTest, StartingACategoryRenewsTheTokenFirst) {
    const std::int64_t child = category("Child");
    link(root_, child);
    const std::int64_t inRoot = fileWithState("in root", {root_}, "size = 10, downloaded = 0");
    const std::int64_t inChild = fileWithState("in child", {child}, "size = 10, downloaded = 0");

    token_ = std::string();
    Outcome<StartCategory> noToken;
    controller_->startDownloadForCategory(load(root_), noToken.callback());
    settle();
    EXPECT_EQ(noToken.result->ending, StartCategory::Ending::NoToken);
    EXPECT_TRUE(log_->contains("Token was empty"));

    tokenError_ = Error::make("VX", 401, "Session expired. Please sign in again.");
    Outcome<StartCategory> refused;
    controller_->startDownloadForCategory(load(root_), refused.callback());
    settle();
    EXPECT_EQ(refused.result->ending, StartCategory::Ending::TokenFailed);
    EXPECT_EQ(refused.result->error, tokenError_);
    EXPECT_TRUE(downloads_.made().empty());

    tokenError_.reset();
    token_ = std::string("fresh");
    Outcome<StartCategory> started;
    std::vector<std::int64_t> finishedFiles;
    controller_->startDownloadForCategory(
        load(root_), started.callback(),
        [&](const SyncManager::FileOutcome& file) { finishedFiles.push_back(file.fileID); });
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 2; }));
    for (const auto& download : downloads_.made()) {
        download->succeed();
    }
    ASSERT_TRUE(pump([&] { return started.reports > 0; }));
    EXPECT_EQ(started.result->ending, StartCategory::Ending::Downloaded);
    EXPECT_EQ(finishedFiles.size(), 2u);
    EXPECT_EQ(display_->finishedFiles.size(), 2u);
    std::vector<std::int64_t> expected{cmsIDOfFile(inRoot), cmsIDOfFile(inChild)};
    std::vector<std::int64_t> made = downloads_.fileIDs();
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, expected);
}

TEST_F(SyncViewControllerTest, ACategoryRowsButtonDownloadsTheCategoryUnderTheFilter) {
    const std::int64_t child = category("Child");
    link(root_, child);
    fileWithState("present", {root_}, "size = 10, downloaded = 1");
    const std::int64_t missing = fileWithState("missing", {child}, "size = 10, downloaded = 0");
    const std::int64_t outdated =
        fileWithState("outdated", {child}, "size = 10, downloaded = 1, updateAvailable = 1");
    controller_->setFilterType(CategoryFilterType::UpdateAvailable);
    auto row = controller_->makeCategoryCell(load(child), 1);
    EXPECT_EQ(row->level(), 1);
    EXPECT_FALSE(row->isExpanded());
    row->touchDownloadButton();
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    EXPECT_EQ(renewals_, 1);
    EXPECT_EQ(downloads_.fileIDs(), std::vector<std::int64_t>{cmsIDOfFile(outdated)});
    EXPECT_FALSE(manager_->isInDownloadQueueWithFileID(cmsIDOfFile(missing)));
    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return display_->finishedFiles.size() == 1; }));
}

TEST_F(SyncViewControllerTest, CancellingTheLastDownloadTurnsTheButtonsBack) {
    const std::int64_t a = fileWithState("a", {root_}, "downloaded = 0");
    const std::int64_t b = fileWithState("b", {root_}, "downloaded = 0");
    controller_->setupButtonsForSyncInProgress(true);
    controller_->startDownloadForFile(loadFile(a), {});
    controller_->startDownloadForFile(loadFile(b), {});
    controller_->cancelDownloadForFile(cmsIDOfFile(a));
    EXPECT_TRUE(controller_->isSyncInProgress());
    controller_->cancelDownloadForFile(cmsIDOfFile(b));
    EXPECT_FALSE(controller_->isSyncInProgress());
    EXPECT_FALSE(manager_->isActive());
}

TEST_F(SyncViewControllerTest, TheTreeFollowsTheFilterTheSearchTextAndTheDownloadErrors) {
    const std::int64_t other = category("Other");
    fileWithState("Résumé", {root_}, "downloaded = 1");
    const std::int64_t failing = fileWithState("plan", {other}, "downloaded = 0");
    auto names = [&] {
        std::vector<std::string> listed;
        auto tree = controller_->currentTree();
        EXPECT_TRUE(tree.ok());
        for (const CategoryWrapper& wrapper : tree.value()) {
            listed.push_back(wrapper.fileCategory.name.value_or("?"));
        }
        return listed;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"Other", "Root"}));
    controller_->setFilterType(CategoryFilterType::Downloaded);
    EXPECT_EQ(names(), std::vector<std::string>{"Root"});
    controller_->setFilterType(CategoryFilterType::DownloadError);
    EXPECT_TRUE(names().empty());

    manager_->downloadFileWithID(
        cmsIDOfFile(failing), [] {}, {}, [](const Error&) {});
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    downloads_.made().front()->fail(Error::make("VXFileDownload", -100, "broken"));
    ASSERT_TRUE(pump([&] { return manager_->errorCount() == 1; }));
    EXPECT_EQ(names(), std::vector<std::string>{"Other"});

    controller_->setSearchText("resume");
    EXPECT_TRUE(controller_->filter().isKeyword());
    EXPECT_EQ(names(), std::vector<std::string>{"Root"});
    controller_->setSearchText("");
    EXPECT_EQ(controller_->filter().type, CategoryFilterType::DownloadError);
    EXPECT_FALSE(controller_->filter().isKeyword());
    EXPECT_EQ(display_->treeChanges, 4);
}

}  // namespace
}  // namespace pagewell
