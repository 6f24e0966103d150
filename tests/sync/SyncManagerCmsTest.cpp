// The sync manager against pagewell-cms serving the demo catalogue, with the real catalogue
// sync, token renewal and file downloads: a download-all brings every file of the signed-in
// user's English content onto the device and a second one finds nothing to do; tokens that
// expire while four downloads are in flight are renewed by one login and every file completes.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DemoCmsFixture.h"
#include "ScriptedPresenter.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "cms/FaultInjector.h"
#include "net/CatalogueRequests.h"
#include "net/EndpointDelegates.h"
#include "store/Database.h"
#include "store/File.h"
#include "store/StoredPath.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/FileDownloadOperation.h"
#include "sync/MassRemovalGuard.h"
#include "sync/StoreSnapshot.h"
#include "sync/SyncManager.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {
namespace {

struct DownloadAllReport {
    int completions = 0;
    SyncManager::DownloadResult result;
    std::map<std::int64_t, int> fileReports;  // cmsID -> how often the file was reported
};

class SyncManagerCmsTest : public DemoCmsFixture {
  protected:
    void SetUp() override {
        DemoCmsFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(startServerAndSignIn());
        // The downloads and the catalogue sync reach the server through the shared manager.
        InterfaceManager::setShared(
            std::make_shared<InterfaceManager>(InterfaceManager::defaultBaseURL()));
        wireImporter();
        ASSERT_NO_FATAL_FAILURE(chooseEnglish());

        sync_ = std::make_shared<SyncManager>();
        bool imported = false;
        sync_->getDataForSync([&] { imported = true; }, nullptr,
                              [&](const Error& error) {
                                  imported = true;
                                  ADD_FAILURE() << error.description;
                              });
        ASSERT_TRUE(pump([&] { return imported; }));
    }

    void TearDown() override {
        sync_.reset();
        DemoCmsFixture::TearDown();
    }

    // cmsIDs of the demo user's English files that are not downloaded.
    std::set<std::int64_t> pendingFiles() {
        StoreContext& main = PersistentStore::shared()->mainContext();
        auto statement = main.database().prepare(
            "SELECT f.cmsID FROM File f JOIN File_users u ON u.file = f.pk JOIN File_locales l "
            "ON l.file = f.pk WHERE u.user = ? AND l.locale = ? AND IFNULL(f.downloaded, 0) = 0");
        EXPECT_TRUE(statement.ok());
        std::set<std::int64_t> ids;
        if (!statement.ok()) {
            return ids;
        }
        statement.value()->bindAll(userKey_, englishKey_);
        while (true) {
            auto row = statement.value()->step();
            if (!row.ok() || !row.value()) {
                break;
            }
            ids.insert(statement.value()->integer(0));
        }
        statement.value()->reset();
        return ids;
    }

    std::shared_ptr<DownloadAllReport> startDownloadAll() {
        auto report = std::make_shared<DownloadAllReport>();
        sync_->downloadAllFilesWithFilter(
            CategoryFilterType::All,
            [report](const SyncManager::DownloadResult& result) {
                ++report->completions;
                report->result = result;
            },
            [report](const SyncManager::FileOutcome& outcome) {
                ++report->fileReports[outcome.fileID];
            });
        return report;
    }

    bool finish(const std::shared_ptr<DownloadAllReport>& report) {
        bool ended =
            MainQueue::shared().runUntil([&] { return report->completions > 0; }, kDownloadWait);
        MainQueue::shared().poll();
        return ended;
    }

    std::vector<cms::RequestLogEntry> requestsTo(const std::string& part) const {
        std::vector<cms::RequestLogEntry> found;
        for (const auto& entry : server_->services().requestLog.entries()) {
            if (entry.target.find(part) != std::string::npos) {
                found.push_back(entry);
            }
        }
        return found;
    }

    static constexpr auto kDownloadWait = std::chrono::seconds(60);

    std::shared_ptr<SyncManager> sync_;
};

TEST_F(SyncManagerCmsTest, DownloadAllBringsEveryFileOnceAndASecondRunHasNothingToDo) {
    std::set<std::int64_t> pending = pendingFiles();
    ASSERT_GT(pending.size(), 4u) << "the demo should offer enough files to fill the queue";
    auto needed = sync_->neededDiskspaceForSync();
    ASSERT_TRUE(needed.ok());
    EXPECT_GT(needed.value(), 0u);

    auto report = startDownloadAll();
    ASSERT_TRUE(finish(report));
    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, SyncManager::DownloadResult::Ending::Finished);
    for (const auto& [id, error] : report->result.summary.failed) {
        ADD_FAILURE() << "file " << id << ": " << error.toString();
    }
    std::set<std::int64_t> downloaded(report->result.summary.downloaded.begin(),
                                      report->result.summary.downloaded.end());
    EXPECT_EQ(downloaded, pending);
    EXPECT_EQ(downloaded.size(), report->result.summary.downloaded.size()) << "each file once";
    for (const auto& [id, count] : report->fileReports) {
        EXPECT_EQ(count, 1) << "file " << id;
    }
    EXPECT_TRUE(pendingFiles().empty());
    EXPECT_FALSE(sync_->isActive());
    EXPECT_EQ(sync_->errorCount(), 0u);
    auto after = sync_->neededDiskspaceForSync();
    ASSERT_TRUE(after.ok());
    EXPECT_EQ(after.value(), 0u);

    // The files came over a few connections kept open, not over new ones per file (libcurl
    // may still close an idle one now and then, so the bound is loose).
    std::set<int> connections;
    const auto media = requestsTo("/media/");
    for (const auto& entry : media) {
        connections.insert(entry.remotePort);
    }
    EXPECT_LE(connections.size() * 3, media.size()) << media.size() << " requests";

    // Every downloaded copy is on disk where the store says.
    StoreContext& main = PersistentStore::shared()->mainContext();
    for (std::int64_t id : downloaded) {
        auto file = File::findWithCmsID(main, id);
        ASSERT_TRUE(file.ok() && file.value() && file.value()->filePath);
        EXPECT_TRUE(std::filesystem::exists(StoredPath::getAbsolutePath(*file.value()->filePath)))
            << *file.value()->filePath;
    }

    server_->services().requestLog.clear();
    auto second = startDownloadAll();
    ASSERT_TRUE(finish(second));
    EXPECT_EQ(second->completions, 1);
    EXPECT_TRUE(second->result.summary.downloaded.empty());
    EXPECT_TRUE(second->fileReports.empty());
    EXPECT_TRUE(requestsTo("/media/").empty());
}

TEST_F(SyncManagerCmsTest, TokensExpiringDuringFourParallelDownloadsAreRenewedOnce) {
    std::set<std::int64_t> pending = pendingFiles();
    ASSERT_GT(pending.size(), 4u);
    cms::FaultInjector& faults = server_->services().faults;
    cms::Fault hold;
    hold.kind = cms::Fault::Kind::Hold;
    hold.prefix = "/media/";
    hold.remaining = 100000;
    faults.arm(hold);

    auto report = startDownloadAll();
    // Four files in flight, the content and the thumbnail of each held by the server.
    const auto deadline = std::chrono::steady_clock::now() + kDownloadWait;
    while (std::chrono::steady_clock::now() < deadline &&
           !(sync_->queuedFileIDs().size() == pending.size() && faults.holdCount().held >= 8)) {
        MainQueue::shared().runFor(std::chrono::milliseconds(20));
    }
    ASSERT_GE(faults.holdCount().held, 8);
    ASSERT_EQ(sync_->queuedFileIDs().size(), pending.size());

    server_->services().tokens.expireAll();
    server_->services().requestLog.clear();
    faults.clear();  // lets every held transfer go; each now meets an expired token
    ASSERT_TRUE(finish(report));

    EXPECT_EQ(report->completions, 1);
    EXPECT_EQ(report->result.ending, SyncManager::DownloadResult::Ending::Finished);
    for (const auto& [id, error] : report->result.summary.failed) {
        ADD_FAILURE() << "file " << id << ": " << error.toString();
    }
    std::set<std::int64_t> downloaded(report->result.summary.downloaded.begin(),
                                      report->result.summary.downloaded.end());
    EXPECT_EQ(downloaded, pending);
    EXPECT_TRUE(pendingFiles().empty());

    std::vector<cms::RequestLogEntry> logins;
    for (const auto& entry : requestsTo("/auth/login")) {
        if (entry.method != "HEAD") {
            logins.push_back(entry);
        }
    }
    EXPECT_EQ(logins.size(), 1u) << "one renewal for all parallel downloads";
}

// A server that trickles one file a few bytes a second does not hold the sync: that file ends
// with an error once it stays below the transfer limit for the window (shortened here), and
// every other file arrives.
TEST_F(SyncManagerCmsTest, ATricklingFileFailsAndTheOthersArrive) {
    std::set<std::int64_t> pending = pendingFiles();
    ASSERT_GT(pending.size(), 1u);
    std::int64_t slow = 0;  // a file at its default address, which the fault can name
    for (const auto& file : demo_->files) {
        if (file.location.empty() && pending.count(file.id) > 0) {
            slow = file.id;
            break;
        }
    }
    ASSERT_NE(slow, 0);
    cms::Fault trickle;
    trickle.kind = cms::Fault::Kind::Trickle;
    trickle.prefix = "/media/files/" + std::to_string(slow) + "/";
    trickle.remaining = 100;
    trickle.bytesPerSecond = 50;
    server_->services().faults.arm(trickle);
    const FileDownloadOperation::Environment previous = FileDownloadOperation::sharedEnvironment();
    FileDownloadOperation::Environment shortWindow = previous;
    // Longer than the reference server's keep-alive wait (5 s): a request queued behind idle
    // connections may wait that long for a server thread without being slow itself.
    shortWindow.sessionOptions.lowSpeedTime = std::chrono::seconds(10);
    FileDownloadOperation::setSharedEnvironment(shortWindow);

    auto report = startDownloadAll();
    const bool ended = finish(report);
    FileDownloadOperation::setSharedEnvironment(previous);
    server_->services().faults.clear();
    ASSERT_TRUE(ended);

    EXPECT_EQ(report->result.ending, SyncManager::DownloadResult::Ending::Finished);
    for (const auto& [id, error] : report->result.summary.failed) {
        EXPECT_EQ(id, slow) << error.toString();
    }
    ASSERT_EQ(report->result.summary.failed.size(), 1u);
    EXPECT_EQ(report->result.summary.failed.begin()->first, slow);
    std::set<std::int64_t> downloaded(report->result.summary.downloaded.begin(),
                                      report->result.summary.downloaded.end());
    pending.erase(slow);
    EXPECT_EQ(downloaded, pending);
    EXPECT_EQ(pendingFiles(), std::set<std::int64_t>{slow});
}

// A server that suddenly lists none of the user's categories would take every file. A sync the
// user started asks first: "No" leaves the store exactly as it was and the answers' timestamps
// where they were, so the next sync meets the same answers and asks again; "Yes" removes them.
TEST_F(SyncManagerCmsTest, ASyncThatWouldRemoveMostFilesAsksFirst) {
    auto presenter = std::make_shared<ScriptedPresenter>();
    SyncManager::Services services;
    services.presenter = presenter;
    auto manager = std::make_shared<SyncManager>(services);
    StoreContext& main = PersistentStore::shared()->mainContext();
    auto count = [&](const std::string& sql) { return scalar(main, sql); };
    const std::string filesHeld =
        "SELECT COUNT(*) FROM File_users u JOIN File_locales l ON l.file = u.file WHERE u.user "
        "= " +
        std::to_string(userKey_) + " AND l.locale = " + std::to_string(englishKey_);
    const std::int64_t held = count(filesHeld);
    ASSERT_GE(held, MassRemovalGuard::kMinimumFiles);
    for (const auto& category : demo_->categories) {
        if (category.locale == 1) {
            ASSERT_TRUE(server_->services().catalogue.deleteCategory(category.id, 1).ok());
        }
    }

    struct Run {
        bool ended = false;
        std::optional<Error> error;
    };
    auto start = [&] {
        auto run = std::make_shared<Run>();
        manager->getDataForSync([run] { run->ended = true; }, nullptr,
                                [run](const Error& error) {
                                    run->ended = true;
                                    run->error = error;
                                });
        return run;
    };
    const std::string question = "The server no longer lists " + std::to_string(held) +
                                 " of your " + std::to_string(held) +
                                 " files. Remove them from this device?";
    const auto before = storeSnapshot(main.database());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto run = start();
        ASSERT_TRUE(pump([&] { return presenter->shown.size() == std::size_t(round + 1); }));
        const auto& asked = presenter->shown.back();
        EXPECT_EQ(asked.alert.message, question);
        presenter->answer(asked.id, asked.alert.cancelButtonIndex());
        ASSERT_TRUE(pump([&] { return run->ended; }));
        ASSERT_TRUE(run->error);
        EXPECT_TRUE(MassRemovalGuard::isHeldBack(*run->error)) << run->error->toString();
        EXPECT_EQ(storeSnapshot(main.database()), before);
    }

    auto confirmed = start();
    ASSERT_TRUE(pump([&] { return presenter->shown.size() == 3; }));
    presenter->answer(presenter->shown.back().id,
                      presenter->shown.back().alert.firstOtherButtonIndex());
    ASSERT_TRUE(pump([&] { return confirmed->ended; }));
    EXPECT_FALSE(confirmed->error) << confirmed->error->toString();
    EXPECT_EQ(count(filesHeld), 0);
    EXPECT_EQ(
        count("SELECT COUNT(*) FROM FileCategory WHERE locale = " + std::to_string(englishKey_)),
        0);
}

}  // namespace
}  // namespace pagewell::test
