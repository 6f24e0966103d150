#pragma once
// The sync manager's unit-test environment: the download-view store of LibraryFixture (user
// "alice", locale cmsID 1, categories and files written as rows), a fresh main queue, a manual
// clock, user defaults and a file keychain of its own, every log line kept, and a manager whose
// collaborators are scripted: downloads that end when the test says, a token renewal, a
// catalogue sync, a free-space answer, a connection kind and the read-confirmation sender.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/LibraryFixture.h"
#include "net/KeychainBridge.h"
#include "platform/AsyncOperation.h"
#include "platform/Clock.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "store/StoreRulesTestSupport.h"
#include "sync/SyncManager.h"

namespace pagewell {

// A download that runs until the test ends it. Cancelling it ends it with its completion, as
// the real download does.
class ScriptedDownload final : public AsyncOperation {
  public:
    ScriptedDownload(std::int64_t fileID, SyncManager::Done completion,
                     SyncManager::ErrorCallback error, bool endsOnCancel)
        : fileID_(fileID),
          completion_(std::move(completion)),
          error_(std::move(error)),
          endsOnCancel_(endsOnCancel) {}

    std::int64_t fileID() const { return fileID_; }
    bool started() const { return started_.load(); }

    void succeed() {
        if (claimEnd()) {
            completion_();
            finish();
        }
    }
    void fail(const Error& error) {
        if (claimEnd()) {
            error_(error);
            finish();
        }
    }

  protected:
    // Starting is told on the main queue too, so a test pumping it sees the start.
    void main() override {
        started_ = true;
        MainQueue::shared().post([] {});
    }
    // Like a transfer that takes a moment to abort, a download may end after the cancel.
    void onCancel() override {
        if (endsOnCancel_) {
            succeed();
        }
    }

  private:
    bool claimEnd() {
        std::lock_guard lock(mutex_);
        return !std::exchange(ended_, true);
    }

    const std::int64_t fileID_;
    SyncManager::Done completion_;
    SyncManager::ErrorCallback error_;
    const bool endsOnCancel_;
    std::atomic<bool> started_{false};
    std::mutex mutex_;
    bool ended_ = false;  // guarded by mutex_
};

// Every download the manager asked for, in order (the category walks ask from a worker).
class ScriptedDownloads {
  public:
    std::shared_ptr<AsyncOperation> make(std::int64_t fileID, SyncManager::Done completion,
                                         SyncManager::ErrorCallback error) {
        std::lock_guard lock(mutex_);
        auto download = std::make_shared<ScriptedDownload>(fileID, std::move(completion),
                                                           std::move(error), endOnCancel_);
        made_.push_back(download);
        return download;
    }
    std::vector<std::shared_ptr<ScriptedDownload>> made() const {
        std::lock_guard lock(mutex_);
        return made_;
    }
    std::vector<std::int64_t> fileIDs() const {
        std::vector<std::int64_t> ids;
        for (const auto& download : made()) {
            ids.push_back(download->fileID());
        }
        return ids;
    }
    // Downloads made from now on end at once when cancelled (the default), or only when the
    // test ends them.
    void setEndOnCancel(bool ends) {
        std::lock_guard lock(mutex_);
        endOnCancel_ = ends;
    }
    std::shared_ptr<ScriptedDownload> of(std::int64_t fileID) const {
        for (const auto& download : made()) {
            if (download->fileID() == fileID) {
                return download;
            }
        }
        return nullptr;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<ScriptedDownload>> made_;  // guarded by mutex_
    bool endOnCancel_ = true;                              // guarded by mutex_
};

// What one download-all or category download reported.
struct DownloadReport {
    int completions = 0;
    SyncManager::DownloadResult result;
    std::vector<SyncManager::FileOutcome> files;
};

class SyncManagerFixture : public LibraryFixture {
  protected:
    using Ending = SyncManager::DownloadResult::Ending;
    using Kind = SyncManager::FileOutcome::Kind;
    static constexpr auto kWait = std::chrono::seconds(10);

    void SetUp() override {
        LibraryFixture::SetUp();
        MainQueue::setShared(nullptr);
        Clock::setShared(clock_);
        UserDefaults::setShared(
            std::make_shared<UserDefaults>(defaultsDir_.path() / "defaults.plist"));
        KeychainBridge::setShared(std::make_shared<KeychainBridge>(
            KeychainBridge::Backend::File, defaultsDir_.path() / "keychain.json"));
        KeychainBridge::shared().saveUsername("alice", "secret", "old-token");
        Logger::shared().addSink(log_);
    }

    void TearDown() override {
        manager_.reset();
        MainQueue::shared().poll();
        Logger::shared().removeSink(log_);
        KeychainBridge::setShared(nullptr);
        UserDefaults::setShared(nullptr);
        Clock::setShared(nullptr);
        MainQueue::setShared(nullptr);
        LibraryFixture::TearDown();
    }

    // The collaborators the tests script; each test changes what it needs before makeManager.
    SyncManager::Services scripted() {
        SyncManager::Services services;
        services.catalogueSync = [this](SyncManager::Done completion, SyncManager::Progress,
                                        SyncManager::ErrorCallback error) {
            ++catalogueSyncs_;
            if (catalogueError_) {
                error(*catalogueError_);
            } else {
                completion();
            }
        };
        services.renewToken = [this](SyncManager::TokenCompletion completion,
                                     SyncManager::ErrorCallback error) {
            ++renewals_;
            if (deferRenewal_) {
                pendingRenewal_ = [this, completion] { completion(token_); };
                return;
            }
            if (tokenError_) {
                error(*tokenError_);
            } else {
                completion(token_);
            }
        };
        services.makeDownloadOperation = [this](std::int64_t fileID, SyncManager::Done completion,
                                                SyncManager::Progress,
                                                SyncManager::ErrorCallback error) {
            return downloads_.make(fileID, std::move(completion), std::move(error));
        };
        services.diskSpaceAvailableForSize = [this](std::uint64_t bytes) {
            askedSpace_.push_back(bytes);
            return bytes <= freeSpace_;
        };
        services.isReachableViaWLAN = [this] { return unmetered_; };
        services.autoSyncEnabled = [this] { return autoSync_; };
        services.syncIntervalMinutes = [this] { return intervalMinutes_; };
        return services;
    }

    SyncManager& makeManager(SyncManager::Services services) {
        manager_ = std::make_shared<SyncManager>(std::move(services));
        return *manager_;
    }
    SyncManager& makeManager() { return makeManager(scripted()); }

    bool pump(const std::function<bool()>& done) {
        return MainQueue::shared().runUntil(done, kWait);
    }

    // A download-all whose callbacks are kept; handlers queued after its end run as well, so a
    // second completion would be counted.
    std::shared_ptr<DownloadReport> downloadAll(const CategoryFilter& filter) {
        auto report = std::make_shared<DownloadReport>();
        manager_->downloadAllFiles(
            filter,
            [report](const SyncManager::DownloadResult& result) {
                ++report->completions;
                report->result = result;
            },
            [report](const SyncManager::FileOutcome& outcome) {
                report->files.push_back(outcome);
            });
        return report;
    }

    // A file with a state for alice; `flags` and `stateFlags` are SQL assignments.
    std::int64_t fileWithState(const std::string& title, const Keys& categories,
                               const char* flags = "size = 100",
                               const char* stateFlags = "pretendDeletion = 0") {
        std::int64_t pk = file(title, categories, flags);
        std::int64_t state =
            insertRow("INSERT INTO FileState (file, user) VALUES (?, ?)", pk, userKey_);
        EXPECT_TRUE(
            main()
                .database()
                .run(std::string("UPDATE FileState SET ") + stateFlags + " WHERE pk = ?", state)
                .ok());
        return pk;
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    TemporaryDirectory defaultsDir_;
    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
    std::shared_ptr<SyncManager> manager_;
    ScriptedDownloads downloads_;

    // What the scripted collaborators answer.
    std::optional<Error> catalogueError_;
    std::optional<Error> tokenError_;
    std::optional<std::string> token_ = std::string("new-token");
    std::uint64_t freeSpace_ = 1'000'000'000;
    bool unmetered_ = true;
    bool autoSync_ = true;
    bool deferRenewal_ = false;  // the renewal answers when the test calls pendingRenewal_
    double intervalMinutes_ = 15;

    // What they were asked.
    int catalogueSyncs_ = 0;
    int renewals_ = 0;
    std::function<void()> pendingRenewal_;
    std::vector<std::uint64_t> askedSpace_;
};

}  // namespace pagewell
