// The file row of the synchronisation screen: the state it chooses for a file, how it follows
// the download notifications, and what a tap does in each state.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "sync/SyncViewFixture.h"

namespace pagewell {
namespace {

using State = SyncViewCell::ButtonState;

// A screen that only records what the row asked of it.
class RecordingScreen final : public SyncViewCell::Screen {
  public:
    void startDownloadWithSyncCell(SyncViewCell& cell) override {
        started.push_back(cell.file()->pk);
    }
    void cancelDownloadWithSyncCell(SyncViewCell& cell) override {
        cancelled.push_back(cell.file()->pk);
    }
    void reloadVisibleRows() override { ++reloads; }

    std::vector<std::int64_t> started;
    std::vector<std::int64_t> cancelled;
    int reloads = 0;
};

class SyncViewCellTest : public SyncViewFixture {
  protected:
    void SetUp() override {
        SyncViewFixture::SetUp();
        root_ = category("Root");
        makeManager();
    }

    std::unique_ptr<SyncViewCell> row(std::int64_t filePk) {
        auto cell = std::make_unique<SyncViewCell>(screen_, cellServices());
        cell->setFile(loadFile(filePk));
        return cell;
    }

    // Queues the file in the manager; the scripted download runs until the test ends it.
    void queue(std::int64_t filePk) {
        manager_->downloadFileWithID(
            cmsIDOfFile(filePk), [] {}, {}, [](const Error&) {});
    }
    // A download of the file that failed, as the manager keeps it.
    void failDownload(std::int64_t filePk, const Error& error) {
        const std::int64_t id = cmsIDOfFile(filePk);
        queue(filePk);
        ASSERT_TRUE(pump([&] { return downloads_.of(id) != nullptr; }));
        downloads_.of(id)->fail(error);
        ASSERT_TRUE(pump([&] { return manager_->errorForFileWithID(id).has_value(); }));
    }

    std::int64_t root_ = 0;
    std::shared_ptr<RecordingScreen> screen_ = std::make_shared<RecordingScreen>();
    const Error failure_ = Error::make("VXFileDownload", -100, "It was not possible to download");
};

TEST_F(SyncViewCellTest, TheStateFollowsTheFileTheQueueAndTheKeptError) {
    const std::int64_t present = fileWithState("present", {root_}, "downloaded = 1");
    // Removed by this user: the copy may stay for others, but the row offers a download.
    const std::int64_t hidden =
        fileWithState("hidden", {root_}, "downloaded = 1", "pretendDeletion = 1");
    const std::int64_t outdated =
        fileWithState("outdated", {root_}, "downloaded = 1, updateAvailable = 1");
    const std::int64_t queued = fileWithState("queued", {root_}, "downloaded = 0");
    const std::int64_t failed = fileWithState("failed", {root_}, "downloaded = 0");
    const std::int64_t missing = fileWithState("missing", {root_}, "downloaded = 0");
    // An update outranks the queue: the row says what the file needs.
    const std::int64_t outdatedQueued =
        fileWithState("outdated and queued", {root_}, "downloaded = 1, updateAvailable = 1");
    queue(queued);
    queue(outdatedQueued);
    failDownload(failed, failure_);

    struct Case {
        std::int64_t file;
        State state;
        std::string title;
        bool enabled;
    };
    const std::vector<Case> cases = {
        {present, State::Delete, "Delete", true},
        {hidden, State::Download, "Download", true},
        {outdated, State::Update, "Update", true},
        {queued, State::Waiting, "Waiting", false},
        {failed, State::Error, "Error", true},
        {missing, State::Download, "Download", true},
        {outdatedQueued, State::Update, "Update", true},
    };
    for (const Case& c : cases) {
        auto cell = row(c.file);
        SCOPED_TRACE(cell->title());
        EXPECT_EQ(cell->buttonState(), c.state);
        EXPECT_EQ(cell->buttonTitle(), c.title);
        EXPECT_EQ(cell->buttonEnabled(), c.enabled);
    }
    EXPECT_EQ(row(failed)->error(), failure_);
}

TEST_F(SyncViewCellTest, AQueuedFileWaitsUntilItsFirstProgressThenOffersCancelUntilItIsDone) {
    const std::int64_t pk = fileWithState("brochure", {root_}, "downloaded = 0");
    const std::int64_t id = cmsIDOfFile(pk);
    const std::int64_t other = fileWithState("other", {root_}, "downloaded = 0");
    queue(pk);
    auto cell = row(pk);
    auto otherCell = row(other);
    int changes = 0;
    cell->setChangeHandler([&] { ++changes; });
    EXPECT_EQ(cell->buttonState(), State::Waiting);

    postProgress(id, 0.25);
    EXPECT_EQ(cell->buttonState(), State::Cancel);
    EXPECT_EQ(cell->progress(), 0.25);
    EXPECT_EQ(otherCell->buttonState(), State::Download);  // another file's news
    postProgress(id, 0.999);
    EXPECT_EQ(cell->buttonState(), State::Cancel);
    postProgress(id, 1.0);
    EXPECT_EQ(cell->buttonState(), State::Delete);
    EXPECT_EQ(changes, 3);

    // A row shown for another file no longer listens to this one.
    cell->setFile(loadFile(other));
    postProgress(id, 0.5);
    EXPECT_EQ(cell->buttonState(), State::Download);
}

// The operation reports 1.0 also when it failed, and its error after that.
TEST_F(SyncViewCellTest, AFailedDownloadEndsInErrorAndDismissingTheAlertForgetsIt) {
    const std::int64_t pk = fileWithState("brochure", {root_}, "downloaded = 0");
    const std::int64_t id = cmsIDOfFile(pk);
    auto cell = row(pk);
    failDownload(pk, failure_);
    postProgress(id, 0.5);
    postProgress(id, 1.0);
    postError(id, failure_);
    EXPECT_EQ(cell->buttonState(), State::Error);
    EXPECT_EQ(cell->error(), failure_);

    cell->touchButton();
    ASSERT_EQ(presenter_->shown.size(), 1u);
    const Alert& alert = lastAlert().alert;
    EXPECT_EQ(alert.title, "Error");
    EXPECT_EQ(alert.message, failure_.description);
    EXPECT_EQ(alert.buttonCount(), 1u);
    EXPECT_EQ(alert.buttonTitle(0), "Ok");
    EXPECT_EQ(cell->buttonState(), State::Error);  // until dismissed

    presenter_->answer(lastAlert().id, 0);
    EXPECT_EQ(cell->buttonState(), State::Download);
    EXPECT_FALSE(cell->error().has_value());
    EXPECT_FALSE(manager_->errorForFileWithID(id).has_value());
    EXPECT_TRUE(screen_->started.empty());
}

TEST_F(SyncViewCellTest, DeletingAsksFirstAndOnlyYesRemovesTheUsersCopy) {
    const std::int64_t pk = fileWithState("brochure", {root_}, "downloaded = 1");
    auto cell = row(pk);
    ASSERT_EQ(cell->buttonState(), State::Delete);

    cell->touchButton();
    const Alert& question = lastAlert().alert;
    EXPECT_EQ(question.title, "Delete");
    EXPECT_EQ(question.message, "Do you really want to delete this file?");
    EXPECT_EQ(question.buttonTitle(question.cancelButtonIndex()), "No");
    EXPECT_EQ(question.buttonTitle(question.firstOtherButtonIndex()), "Yes");
    presenter_->answer(lastAlert().id, question.cancelButtonIndex());
    EXPECT_EQ(cell->buttonState(), State::Delete);
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", pk), 0);
    EXPECT_EQ(screen_->reloads, 0);

    cell->touchButton();
    presenter_->answer(lastAlert().id, lastAlert().alert.firstOtherButtonIndex());
    // Saved to the store, not only in the open transaction.
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", pk), 1);
    EXPECT_EQ(scalar("SELECT downloaded FROM File WHERE pk = ?", pk), 0);
    EXPECT_FALSE(main().inWrite());
    EXPECT_EQ(cell->buttonState(), State::Download);
    EXPECT_EQ(screen_->reloads, 1);
}

TEST_F(SyncViewCellTest, TapsStartOrCancelThroughTheScreenAndDisabledStatesIgnoreThem) {
    const std::int64_t missing = fileWithState("missing", {root_}, "downloaded = 0");
    const std::int64_t outdated =
        fileWithState("outdated", {root_}, "downloaded = 1, updateAvailable = 1");
    const std::int64_t queued = fileWithState("queued", {root_}, "downloaded = 0");
    queue(queued);

    row(missing)->touchButton();
    row(outdated)->touchButton();
    EXPECT_EQ(screen_->started, (std::vector<std::int64_t>{missing, outdated}));

    auto waiting = row(queued);
    waiting->touchButton();  // Waiting: disabled
    waiting->setupButtonWithAction(State::Downloading);
    waiting->touchButton();  // Downloading: disabled
    EXPECT_EQ(screen_->started.size(), 2u);
    EXPECT_TRUE(screen_->cancelled.empty());

    postProgress(cmsIDOfFile(queued), 0.5);
    // In Downloading the progress does not turn the button into Cancel.
    EXPECT_EQ(waiting->buttonState(), State::Downloading);
    waiting->setupButtonWithAction(State::Cancel);
    waiting->touchButton();
    EXPECT_EQ(screen_->cancelled, std::vector<std::int64_t>{queued});
    EXPECT_EQ(waiting->buttonState(), State::Download);
    EXPECT_TRUE(presenter_->shown.empty());
}

// Notifications posted off the main thread reach the row on the main queue, and none reaches
// a row that is gone by then.
TEST_F(SyncViewCellTest, NotificationsFromAnotherThreadArriveOnTheMainQueue) {
    const std::int64_t pk = fileWithState("brochure", {root_}, "downloaded = 0");
    const std::int64_t id = cmsIDOfFile(pk);
    queue(pk);
    auto cell = row(pk);
    auto gone = row(pk);
    std::thread([id] { postProgress(id, 0.5); }).join();
    EXPECT_EQ(cell->buttonState(), State::Waiting);
    gone.reset();
    ASSERT_TRUE(pump([&] { return cell->buttonState() == State::Cancel; }));
    EXPECT_EQ(cell->progress(), 0.5);

    std::thread([this, id] { postError(id, failure_); }).join();
    ASSERT_TRUE(pump([&] { return cell->buttonState() == State::Error; }));
    EXPECT_EQ(cell->error(), failure_);
}

// The row and the real screen together: a tap queues the file and the row waits for it.
TEST_F(SyncViewCellTest, TappingDownloadOnTheScreensRowQueuesTheFile) {
    const std::int64_t pk = fileWithState("brochure", {root_}, "downloaded = 0");
    const std::int64_t id = cmsIDOfFile(pk);
    auto controller = makeController();
    auto cell = controller->makeCell(loadFile(pk));
    cell->touchButton();
    EXPECT_TRUE(manager_->isInDownloadQueueWithFileID(id));
    EXPECT_EQ(cell->buttonState(), State::Waiting);

    postProgress(id, 0.5);
    cell->touchButton();  // Cancel
    EXPECT_FALSE(manager_->isInDownloadQueueWithFileID(id));
    EXPECT_EQ(cell->buttonState(), State::Download);
}

}  // namespace
}  // namespace pagewell
