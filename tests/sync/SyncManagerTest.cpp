// The sync manager with scripted downloads, token renewal and catalogue sync: the automatic
// synchronisation's conditions and its every ending, download-all over shared and hidden files,
// per-file results and errors, cancelling, stopping, the needed disk space, the
// read-confirmation resend and erasing the data.

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "sync/SyncInProgressListener.h"
#include "sync/SyncManagerFixture.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

int countLines(CapturingLogSink& log, const std::string& text) {
    auto messages = log.messages();
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const auto& m) {
        return m.message.find(text) != std::string::npos;
    }));
}

class RecordingScreen final : public SyncInProgressListener {
  public:
    void setupButtonsForSyncInProgress(bool inProgress) override { calls.push_back(inProgress); }
    std::vector<bool> calls;
};

class SyncManagerTest : public SyncManagerFixture {};

// ---- automatic synchronisation

TEST_F(SyncManagerTest, AutoSyncWithoutItsConditionsOnlySchedulesTheNextTimer) {
    struct Case {
        const char* why;
        bool autoSync;
        bool unmetered;
    };
    const Case cases[] = {
        {"AUTO_SYNC on but only a metered or no connection", true, false},
        {"AUTO_SYNC off on an unmetered connection", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        autoSync_ = c.autoSync;
        unmetered_ = c.unmetered;
        catalogueSyncs_ = 0;
        SyncManager& manager = makeManager();

        manager.startAutoSync();
        ASSERT_EQ(manager.nextAutoSyncDate(), clock_->now() + 15min);

        clock_->advance(15min);
        SystemTime fired = clock_->now();
        ASSERT_TRUE(pump([&] { return manager.nextAutoSyncDate() == fired + 15min; }));
        EXPECT_EQ(catalogueSyncs_, 0);
        EXPECT_FALSE(manager.isAutoSyncActive());
        EXPECT_FALSE(log_->contains(SyncManager::kLogAutoSyncStarted));
    }
}

TEST_F(SyncManagerTest, EveryAutoSyncEndingClearsTheFlagAndSchedulesTheNextTimerOnce) {
    // Each case has something pending for alice unless it says otherwise.
    struct Case {
        const char* why;
        std::optional<Error> catalogueError;
        std::optional<Error> tokenError;
        std::optional<std::string> token;
        std::uint64_t freeSpace;
        bool pending;
        const char* endLine;  // logged once at the end; none for an import error
        int screenCalls;      // true then false when the download-all ran
    };
    const Error importFailed = Error::make("VXErrorDomain", 7, "import failed");
    const Error loginFailed = Error::make("VX", 401, "login failed");
    const Case cases[] = {
        {"the catalogue import fails", importFailed, {}, "t", 1'000'000, true, nullptr, 0},
        {"nothing is pending", {}, {}, "t", 1'000'000, false, SyncManager::kLogNoAutoSyncNeeded, 0},
        {"the token renewal fails",
         {},
         loginFailed,
         "t",
         1'000'000,
         true,
         SyncManager::kLogAutoSyncFinished,
         2},
        {"the token renewal gives no token",
         {},
         {},
         std::nullopt,
         1'000'000,
         true,
         SyncManager::kLogAutoSyncFinished,
         2},
        {"the token renewal gives an empty token",
         {},
         {},
         "",
         1'000'000,
         true,
         SyncManager::kLogAutoSyncFinished,
         2},
        {"the pending downloads exceed the free space",
         {},
         {},
         "t",
         99,
         true,
         SyncManager::kLogAutoSyncFinished,
         2},
    };
    std::int64_t root = category("Root");
    std::int64_t pendingFile = fileWithState("Brochure", {root}, "size = 100");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        catalogueError_ = c.catalogueError;
        tokenError_ = c.tokenError;
        token_ = c.token;
        freeSpace_ = c.freeSpace;
        ASSERT_TRUE(
            main()
                .database()
                .run("UPDATE File SET downloaded = ? WHERE pk = ?", c.pending ? 0 : 1, pendingFile)
                .ok());
        auto caseLog = std::make_shared<CapturingLogSink>();
        Logger::shared().addSink(caseLog);
        SyncManager& manager = makeManager();
        auto screen = std::make_shared<RecordingScreen>();
        manager.setSyncViewController(screen);
        std::vector<bool> autoSyncStates;
        manager.addActivityObserver([&](const SyncManager::Activity& activity) {
            autoSyncStates.push_back(activity.autoSyncActive);
        });

        manager.startAutoSync();
        clock_->advance(15min);
        SystemTime fired = clock_->now();
        ASSERT_TRUE(pump([&] { return manager.nextAutoSyncDate() == fired + 15min; }));
        MainQueue::shared().poll();

        EXPECT_FALSE(manager.isAutoSyncActive());
        EXPECT_EQ(countLines(*caseLog, SyncManager::kLogAutoSyncStarted), 1);
        if (c.endLine) {
            EXPECT_EQ(countLines(*caseLog, c.endLine), 1);
        }
        ASSERT_FALSE(autoSyncStates.empty());
        EXPECT_TRUE(autoSyncStates.front());
        EXPECT_FALSE(autoSyncStates.back());
        EXPECT_TRUE(downloads_.made().empty()) << "nothing may be queued";
        EXPECT_EQ(screen->calls.size(), static_cast<std::size_t>(c.screenCalls));
        if (c.screenCalls == 2) {
            EXPECT_EQ(screen->calls, (std::vector<bool>{true, false}));
        }
        // Only the next timer: it does not fire again before its time.
        EXPECT_EQ(manager.nextAutoSyncDate(), fired + 15min);
        Logger::shared().removeSink(caseLog);
    }
}

TEST_F(SyncManagerTest, AutoSyncDownloadsWhatIsPendingAndEndsWhenTheDownloadsHaveEnded) {
    std::int64_t root = category("Root");
    std::int64_t pk = fileWithState("Brochure", {root}, "size = 100");
    SyncManager& manager = makeManager();
    manager.startAutoSync();
    clock_->advance(15min);
    SystemTime fired = clock_->now();

    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    EXPECT_TRUE(manager.isAutoSyncActive());
    EXPECT_TRUE(manager.isActive());
    EXPECT_EQ(renewals_, 1);
    EXPECT_EQ(askedSpace_, std::vector<std::uint64_t>{100});
    EXPECT_EQ(downloads_.made().front()->fileID(), cmsIDOfFile(pk));

    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return !manager.isAutoSyncActive(); }));
    EXPECT_FALSE(manager.isActive());
    EXPECT_EQ(manager.nextAutoSyncDate(), fired + 15min);
    EXPECT_TRUE(log_->contains(SyncManager::kLogAutoSyncFinished));
}

// ---- download-all

TEST_F(SyncManagerTest, AFileInThreeCategoriesIsCountedOnceAndQueuedOnce) {
    std::int64_t first = category("First");
    std::int64_t second = category("Second");
    std::int64_t child = category("Child");
    link(second, child);
    std::int64_t shared = fileWithState("Shared", {first, second, child}, "size = 100");
    std::int64_t alone = fileWithState("Alone", {child}, "size = 50");
    SyncManager& manager = makeManager();

    auto needed = manager.neededDiskspaceForCategories(
        {load(first), load(second)}, CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(needed.ok()) << needed.error().description;
    EXPECT_EQ(needed.value(), 150u);
    auto forSync = manager.neededDiskspaceForSync();
    ASSERT_TRUE(forSync.ok());
    EXPECT_EQ(forSync.value(), 150u);

    auto report = downloadAll(CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 2 && report->completions == 0; }));
    MainQueue::shared().poll();
    std::vector<std::int64_t> queued = downloads_.fileIDs();
    std::sort(queued.begin(), queued.end());
    std::vector<std::int64_t> expected{cmsIDOfFile(shared), cmsIDOfFile(alone)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(queued, expected);
    EXPECT_EQ(manager.activity().operationCount, 2u);

    for (const auto& download : downloads_.made()) {
        download->succeed();
    }
    ASSERT_TRUE(pump([&] { return report->completions > 0; }));
    MainQueue::shared().poll();
    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, Ending::Finished);
    std::vector<std::int64_t> downloaded = report->result.summary.downloaded;
    std::sort(downloaded.begin(), downloaded.end());
    EXPECT_EQ(downloaded, expected);
    EXPECT_EQ(report->files.size(), 2u);
    EXPECT_EQ(downloads_.made().size(), 2u);
    EXPECT_EQ(KeychainBridge::shared().token(), "new-token");
}

TEST_F(SyncManagerTest, AHiddenDownloadedFileCountsForSpaceButIsOnlyUnhidden) {
    std::int64_t root = category("Root");
    std::int64_t hidden =
        fileWithState("Hidden", {root}, "size = 70, downloaded = 1", "pretendDeletion = 1");
    std::int64_t missing = fileWithState("Missing", {root}, "size = 30");
    fileWithState("Present", {root}, "size = 500, downloaded = 1");
    SyncManager& manager = makeManager();

    auto needed = manager.neededDiskspaceForCategories(
        {load(root)}, CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(needed.ok());
    EXPECT_EQ(needed.value(), 100u);

    auto report = downloadAll(CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    ASSERT_TRUE(pump([&] { return report->files.size() == 1; }));
    EXPECT_EQ(downloads_.made().front()->fileID(), cmsIDOfFile(missing));
    EXPECT_EQ(report->files.front().kind, Kind::Unhidden);
    EXPECT_EQ(report->files.front().fileKey, hidden);
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ?", hidden), 0);

    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return report->completions > 0; }));
    EXPECT_EQ(report->result.summary.unhidden, std::vector<std::int64_t>{cmsIDOfFile(hidden)});
    EXPECT_EQ(report->result.summary.downloaded, std::vector<std::int64_t>{cmsIDOfFile(missing)});
}

TEST_F(SyncManagerTest, PerFileResultsErrorsAndTheTrackingEvent) {
    std::int64_t root = category("Root");
    std::int64_t good = fileWithState("Good", {root});
    std::int64_t bad = fileWithState("Bad", {root});
    SyncManager& manager = makeManager();
    struct Tracked {
        int type;
        std::string label;
        std::string screen;
    };
    std::vector<Tracked> tracked;
    SyncManager::Hooks hooks;
    hooks.trackEvent = [&](int type, const std::string& label, const std::string& screen) {
        tracked.push_back({type, label, screen});
    };
    manager.setHooks(hooks);
    const Error failure = Error::make("VXFileDownload", -100, "It was not possible <broken>");

    auto report = downloadAll(CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 2; }));
    downloads_.of(cmsIDOfFile(bad))->fail(failure);
    downloads_.of(cmsIDOfFile(good))->succeed();
    ASSERT_TRUE(pump([&] { return report->completions > 0; }));
    MainQueue::shared().poll();

    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, Ending::Finished);
    EXPECT_EQ(report->result.summary.downloaded, std::vector<std::int64_t>{cmsIDOfFile(good)});
    ASSERT_EQ(report->result.summary.failed.size(), 1u);
    EXPECT_EQ(report->result.summary.failed.front().first, cmsIDOfFile(bad));
    EXPECT_EQ(report->result.summary.failed.front().second, failure);
    ASSERT_EQ(tracked.size(), 1u) << "only a downloaded file is tracked";
    EXPECT_EQ(tracked.front().type, 4);
    EXPECT_EQ(tracked.front().label,
              "ID - " + std::to_string(cmsIDOfFile(good)) + ", Title - Good");
    EXPECT_EQ(tracked.front().screen, "SyncView");

    // The error stays until the file is queued again.
    EXPECT_EQ(manager.errorCount(), 1u);
    EXPECT_EQ(manager.errorForFileWithID(cmsIDOfFile(bad)), failure);
    EXPECT_EQ(manager.fileIDsWithErrors(), std::vector<std::int64_t>{cmsIDOfFile(bad)});
    // The error filter of the download view finds it.
    auto withErrors = manager.neededDiskspaceForCategories(
        {load(root)}, CategoryFilter::withType(CategoryFilterType::DownloadError));
    ASSERT_TRUE(withErrors.ok());
    EXPECT_EQ(withErrors.value(), 100u);

    int completions = 0;
    manager.downloadFileWithID(
        cmsIDOfFile(bad), [&] { ++completions; }, nullptr,
        [](const Error&) { ADD_FAILURE() << "no error expected"; });
    EXPECT_EQ(manager.errorCount(), 0u);
    EXPECT_TRUE(manager.isInDownloadQueueWithFileID(cmsIDOfFile(bad)));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 3; }));
    downloads_.made().back()->succeed();
    ASSERT_TRUE(pump([&] { return completions == 1; }));
    EXPECT_FALSE(manager.isInDownloadQueueWithFileID(cmsIDOfFile(bad)));
}

TEST_F(SyncManagerTest, StopDuringADownloadAllEndsItOnceAsCancelled) {
    std::int64_t root = category("Root");
    fileWithState("One", {root});
    fileWithState("Two", {root});
    SyncManager& manager = makeManager();

    auto report = downloadAll(CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 2; }));
    EXPECT_TRUE(manager.isActive());
    manager.stop();
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(manager.queuedFileIDs().empty());
    ASSERT_TRUE(pump([&] { return report->completions > 0; }));
    MainQueue::shared().poll();
    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, Ending::Cancelled);
    EXPECT_EQ(report->result.summary.cancelled.size(), 2u);
    EXPECT_TRUE(report->result.summary.downloaded.empty());
}

TEST_F(SyncManagerTest, StopWhileTheTokenIsRenewedEndsTheDownloadAllWithoutQueuing) {
    std::int64_t root = category("Root");
    fileWithState("One", {root});
    deferRenewal_ = true;
    SyncManager& manager = makeManager();

    auto report = downloadAll(CategoryFilter::withType(CategoryFilterType::All));
    ASSERT_TRUE(pendingRenewal_);
    manager.stop();
    pendingRenewal_();
    ASSERT_TRUE(pump([&] { return report->completions > 0; }));
    MainQueue::shared().poll();
    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, Ending::Cancelled);
    EXPECT_TRUE(downloads_.made().empty());
}

TEST_F(SyncManagerTest, ADownloadAllByKeywordQueuesOnlyMatchingTitles) {
    std::int64_t root = category("Root");
    std::int64_t match = fileWithState("Pump Brochure", {root});
    fileWithState("Valve Sheet", {root});
    makeManager();
    auto report = downloadAll(CategoryFilter::withKeyword("brochure"));
    ASSERT_TRUE(pump([&] { return downloads_.made().size() == 1; }));
    EXPECT_EQ(downloads_.made().front()->fileID(), cmsIDOfFile(match));
    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return report->completions == 1; }));
}

// ---- the queue

TEST_F(SyncManagerTest, CancellingTheLastQueuedFileClearsActiveAndTheCount) {
    SyncManager& manager = makeManager();
    std::vector<SyncManager::Activity> seen;
    manager.addActivityObserver(
        [&](const SyncManager::Activity& activity) { seen.push_back(activity); });
    int completions = 0;
    int errors = 0;
    for (std::int64_t id : {11, 12}) {
        manager.downloadFileWithID(
            id, [&] { ++completions; }, nullptr, [&](const Error&) { ++errors; });
    }
    ASSERT_TRUE(pump([&] { return !seen.empty() && seen.back().operationCount == 2; }));
    EXPECT_TRUE(seen.back().active);

    manager.cancelDownloadForFileWithID(11);
    EXPECT_TRUE(manager.isActive());
    manager.cancelDownloadForFileWithID(12);
    EXPECT_FALSE(manager.isActive());
    EXPECT_FALSE(manager.isInDownloadQueueWithFileID(12));
    ASSERT_TRUE(pump([&] { return completions == 2; }));
    MainQueue::shared().poll();
    EXPECT_EQ(errors, 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().operationCount, 0u);
    EXPECT_FALSE(seen.back().active);
}

TEST_F(SyncManagerTest, AStoppedDownloadCountsUntilItHasEnded) {
    downloads_.setEndOnCancel(false);
    SyncManager& manager = makeManager();
    int completions = 0;
    manager.downloadFileWithID(
        21, [&] { ++completions; }, nullptr, nullptr);
    ASSERT_TRUE(
        pump([&] { return downloads_.made().size() == 1 && downloads_.made()[0]->started(); }));

    manager.stop();
    EXPECT_FALSE(manager.isActive());
    EXPECT_TRUE(manager.queuedFileIDs().empty());
    EXPECT_EQ(manager.activity().operationCount, 1u) << "still aborting";

    downloads_.made()[0]->succeed();
    ASSERT_TRUE(pump([&] { return completions == 1; }));
    EXPECT_EQ(manager.activity().operationCount, 0u);
}

TEST_F(SyncManagerTest, ACancelWhileTheDownloadIsBeingMadeStillReportsOnce) {
    SyncManager::Services services = scripted();
    auto make = services.makeDownloadOperation;
    services.makeDownloadOperation = [this, make](std::int64_t fileID, SyncManager::Done done,
                                                  SyncManager::Progress progress,
                                                  SyncManager::ErrorCallback error) {
        // The user cancels the row in the moment between queuing and the operation.
        manager_->cancelDownloadForFileWithID(fileID);
        return make(fileID, std::move(done), std::move(progress), std::move(error));
    };
    SyncManager& manager = makeManager(std::move(services));
    int completions = 0;
    int errors = 0;
    manager.downloadFileWithID(
        31, [&] { ++completions; }, nullptr, [&](const Error&) { ++errors; });
    ASSERT_TRUE(pump([&] { return completions == 1; }));
    MainQueue::shared().poll();
    EXPECT_EQ(errors, 0);
    EXPECT_FALSE(manager.isActive());
    EXPECT_EQ(manager.activity().operationCount, 0u);
    EXPECT_FALSE(downloads_.made().front()->started()) << "a cancelled download never runs";
}

TEST_F(SyncManagerTest, AtMostFourDownloadsRunAtOnce) {
    SyncManager& manager = makeManager();
    int completions = 0;
    for (std::int64_t id = 1; id <= 6; ++id) {
        manager.downloadFileWithID(
            id, [&] { ++completions; }, nullptr, nullptr);
    }
    auto started = [&] {
        auto made = downloads_.made();
        return std::count_if(made.begin(), made.end(), [](const auto& d) { return d->started(); });
    };
    ASSERT_TRUE(pump([&] { return started() == 4; }));
    EXPECT_EQ(manager.queuedFileIDs().size(), 6u);
    downloads_.made().front()->succeed();
    ASSERT_TRUE(pump([&] { return started() == 5; }));
    for (const auto& download : downloads_.made()) {
        download->succeed();
    }
    ASSERT_TRUE(pump([&] { return completions == 6; }));
}

// ---- read confirmations

TEST_F(SyncManagerTest, ASecondResendWhileOneIsUnderWayIsIgnored) {
    for (const char* title : {"Read one", "Read two"}) {
        file(title, {},
             "needsReadConfirmation = 1, didSendReadConfirmation = 0, confirmationDate = 1");
    }
    file("Sent", {},
         "needsReadConfirmation = 1, didSendReadConfirmation = 1, "
         "confirmationDate = 1");
    std::vector<std::pair<SyncManager::Done, SyncManager::ErrorCallback>> sent;
    SyncManager::Services services = scripted();
    services.sendReadConfirmation = [&](const File&, SyncManager::Done completion,
                                        SyncManager::ErrorCallback error) {
        sent.emplace_back(std::move(completion), std::move(error));
    };
    SyncManager& manager = makeManager(std::move(services));

    manager.sendReadConfirmationForUnsyncedFiles();
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_TRUE(manager.isSendingReadConfirmations());
    manager.sendReadConfirmationForUnsyncedFiles();
    EXPECT_EQ(sent.size(), 2u);

    sent[0].first();
    sent[1].second(Error::make("ReadConfirmation", 100, "Sending read confirmation failed"));
    ASSERT_TRUE(pump([&] { return !manager.isSendingReadConfirmations(); }));
    manager.sendReadConfirmationForUnsyncedFiles();
    EXPECT_EQ(sent.size(), 4u) << "the next resend sends what is still unsent";
}

// ---- erasing

TEST_F(SyncManagerTest, ResetReportsProgressInOrderThenSignsOutInTheSameTurn) {
    std::int64_t root = category("Root");
    fileWithState("Doc", {root});
    ASSERT_TRUE(UserDefaults::shared()
                    .set("kImportTimestampDictKey_alice_1", PlistValue(PlistDict{{"a", "1"}}))
                    .ok());
    ASSERT_TRUE(UserDefaults::shared().set("LAST_LOGIN", PlistValue(clock_->now())).ok());
    SyncManager& manager = makeManager();
    std::vector<std::string> steps;
    SyncManager::Hooks hooks;
    hooks.removeCurrentLocale = [&] { steps.push_back("locale removed"); };
    hooks.showSignIn = [&] { steps.push_back("sign-in shown"); };
    manager.setHooks(hooks);
    int queuedCompletions = 0;
    manager.downloadFileWithID(
        99, [&] { ++queuedCompletions; }, nullptr, nullptr);

    std::vector<double> progress;
    manager.resetData(
        [&](double fraction) {
            progress.push_back(fraction);
            steps.push_back("progress");
        },
        [](const Error& error) { ADD_FAILURE() << error.description; });
    EXPECT_FALSE(manager.isActive()) << "running downloads stop first";
    ASSERT_TRUE(pump([&] { return !progress.empty() && progress.back() == 1.0; }));

    EXPECT_EQ(progress, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
    EXPECT_EQ(steps.back(), "sign-in shown");
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "locale removed"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Locale"), 0);
    EXPECT_FALSE(UserDefaults::shared().get("kImportTimestampDictKey_alice_1"));
    EXPECT_FALSE(UserDefaults::shared().get("LAST_LOGIN")) << "logged out";
    ASSERT_TRUE(pump([&] { return queuedCompletions == 1; }));
}

TEST_F(SyncManagerTest, AResetThatCannotSaveKeepsTheCatalogueAndTheSession) {
    std::int64_t root = category("Root");
    fileWithState("Doc", {root});
    ASSERT_TRUE(UserDefaults::shared().set("LAST_LOGIN", PlistValue(clock_->now())).ok());
    // The languages are the last step: everything before it must come back.
    ASSERT_TRUE(main()
                    .database()
                    .exec("CREATE TRIGGER keep_locales BEFORE DELETE ON Locale BEGIN "
                          "SELECT RAISE(ABORT, 'refused by the test'); END")
                    .ok());
    SyncManager& manager = makeManager();
    bool signIn = false;
    SyncManager::Hooks hooks;
    hooks.showSignIn = [&] { signIn = true; };
    manager.setHooks(hooks);

    std::vector<double> progress;
    std::optional<Error> failure;
    manager.resetData([&](double fraction) { progress.push_back(fraction); },
                      [&](const Error& error) { failure = error; });
    ASSERT_TRUE(pump([&] { return failure.has_value(); }));
    MainQueue::shared().poll();
    EXPECT_EQ(progress, (std::vector<double>{0.25, 0.5}));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory"), 1);
    EXPECT_FALSE(signIn);
    EXPECT_TRUE(UserDefaults::shared().get("LAST_LOGIN")) << "still signed in";
}

TEST_F(SyncManagerTest, ResetTimestampsForgetsThemAndSignsOut) {
    ASSERT_TRUE(UserDefaults::shared()
                    .set("kImportTimestampDictKey_alice_1", PlistValue(PlistDict{{"a", "1"}}))
                    .ok());
    ASSERT_TRUE(UserDefaults::shared().set("LAST_LOGIN", PlistValue(clock_->now())).ok());
    SyncManager& manager = makeManager();
    bool signIn = false;
    SyncManager::Hooks hooks;
    hooks.showSignIn = [&] { signIn = true; };
    manager.setHooks(hooks);

    manager.resetDataTimestamps();
    ASSERT_TRUE(pump([&] { return signIn; }));
    EXPECT_FALSE(UserDefaults::shared().get("kImportTimestampDictKey_alice_1"));
    EXPECT_FALSE(UserDefaults::shared().get("LAST_LOGIN"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Locale"), 1) << "the catalogue stays";
}

}  // namespace
}  // namespace pagewell
