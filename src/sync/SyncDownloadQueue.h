#pragma once
// The sync manager's download queue: at most 4 download operations at a time, the IDs of the
// files queued, and the last download error of each file.
//
//   add(fileID) ──► ID queued, its error forgotten, operation added ──► the operation reports
//        completion ─► ID removed ─► outcome Downloaded (Cancelled when it was cancelled)
//        error      ─► ID removed, error kept under the ID ─► outcome Failed
//   cancel(fileID) ─► the file's operations cancelled, ID and error forgotten at once; the
//        operation still reports (as Cancelled) when it ends, and counts in operationCount()
//        until then
//
// Each add() reports exactly once, on the main queue. An operation that is cancelled before it
// ever started may never call its own callbacks; the queue then reports it as Cancelled itself.
//
// Threading: every member may be called from any thread; mutex_ guards the entries, the errors
// and the operation queue pointer. The activity handler runs on the main queue.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class AsyncOperation;
class OperationQueue;

class SyncDownloadQueue : public std::enable_shared_from_this<SyncDownloadQueue> {
  public:
    enum class Outcome { Downloaded, Failed, Cancelled };
    using Report = std::function<void(Outcome outcome, const std::optional<Error>& error)>;
    using Progress = std::function<void(double fraction)>;
    using OperationFactory = std::function<std::shared_ptr<AsyncOperation>(
        std::int64_t fileID, std::function<void()> completion, Progress progress,
        std::function<void(const Error&)> error)>;
    // (operations queued or running, at least one file queued)
    using ActivityHandler = std::function<void(std::size_t operationCount, bool active)>;

    SyncDownloadQueue(OperationFactory factory, ActivityHandler activity, int maxConcurrent);
    ~SyncDownloadQueue();
    SyncDownloadQueue(const SyncDownloadQueue&) = delete;
    SyncDownloadQueue& operator=(const SyncDownloadQueue&) = delete;

    // Queues a download of the file; `report` hears how it ended, once, on the main queue.
    void add(std::int64_t fileID, Report report, Progress progress);
    // Cancels the file's operations; forgets its ID and error. False when it was not queued.
    bool cancel(std::int64_t fileID);
    // Cancels everything; when anything was queued, forgets every ID and every error.
    void cancelAll();

    bool isQueued(std::int64_t fileID) const;
    std::vector<std::int64_t> queuedIDs() const;
    // Operations queued or running, cancelled ones included until they have reported.
    std::size_t operationCount() const;
    bool isActive() const;
    // Clears the active flag without touching the queue (stop() does so at once).
    void clearActive();

    std::size_t errorCount() const;
    std::optional<Error> errorFor(std::int64_t fileID) const;
    void removeError(std::int64_t fileID);
    std::vector<std::int64_t> fileIDsWithErrors() const;

    // Cancels what is left and waits for running operations to return from their start; later
    // adds report Cancelled without running. Not on one of the queue's own workers.
    void shutdown();

  private:
    struct Entry {
        std::uint64_t token = 0;
        std::int64_t fileID = 0;
        std::weak_ptr<AsyncOperation> operation;
    };
    struct Pending;

    // Tells the activity handler, on the main queue, the state at that time.
    void announce();

    const OperationFactory factory_;
    const ActivityHandler activity_;
    const int maxConcurrent_;

    mutable std::mutex mutex_;
    std::unique_ptr<OperationQueue> queue_;  // guarded by mutex_; made on the first add
    std::vector<Entry> entries_;             // guarded by mutex_; the queued files
    std::vector<Entry> draining_;            // guarded by mutex_; cancelled, not yet reported
    std::map<std::int64_t, Error> errors_;   // guarded by mutex_
    std::uint64_t nextToken_ = 1;            // guarded by mutex_
    bool active_ = false;                    // guarded by mutex_
    bool closed_ = false;                    // guarded by mutex_; set by shutdown()
};

}  // namespace pagewell
