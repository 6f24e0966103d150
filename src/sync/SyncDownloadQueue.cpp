#include "sync/SyncDownloadQueue.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "platform/AsyncOperation.h"
#include "platform/MainQueue.h"
#include "platform/OperationQueue.h"

namespace pagewell {

// What one add() shares with the callbacks of its operation.
struct SyncDownloadQueue::Pending {
    std::uint64_t token = 0;
    std::int64_t fileID = 0;
    Report report;
    std::weak_ptr<AsyncOperation> operation;
    std::atomic<bool> reported{false};
};

SyncDownloadQueue::SyncDownloadQueue(OperationFactory factory, ActivityHandler activity,
                                     int maxConcurrent)
    : factory_(std::move(factory)), activity_(std::move(activity)), maxConcurrent_(maxConcurrent) {}

SyncDownloadQueue::~SyncDownloadQueue() {
    shutdown();
}

namespace {

// Reports once: the first of the operation's callbacks (or the cancelled-before-start check)
// wins, later ones are dropped.
bool claimReport(std::atomic<bool>& reported) {
    return !reported.exchange(true);
}

}  // namespace

void SyncDownloadQueue::add(std::int64_t fileID, Report report, Progress progress) {
    auto pending = std::make_shared<Pending>();
    pending->fileID = fileID;
    pending->report = std::move(report);
    OperationQueue* queue = nullptr;
    bool closed = false;
    {
        std::lock_guard lock(mutex_);
        closed = closed_;
        pending->token = nextToken_++;
        entries_.push_back(Entry{pending->token, fileID, {}});
        // A new attempt starts without the last one's error.
        errors_.erase(fileID);
        active_ = true;
        if (!queue_ && !closed) {
            queue_ = std::make_unique<OperationQueue>(maxConcurrent_, "download");
        }
        queue = queue_.get();
    }
    announce();

    std::weak_ptr<SyncDownloadQueue> weakSelf = weak_from_this();
    auto finished = [weakSelf, pending](Outcome outcome, std::optional<Error> error) {
        if (!claimReport(pending->reported)) {
            return;
        }
        if (auto self = weakSelf.lock()) {
            {
                std::lock_guard lock(self->mutex_);
                auto ours = [&](const Entry& entry) { return entry.token == pending->token; };
                std::erase_if(self->entries_, ours);
                std::erase_if(self->draining_, ours);
                if (self->entries_.empty()) {
                    self->active_ = false;
                }
                if (outcome == Outcome::Failed && error) {
                    self->errors_.insert_or_assign(pending->fileID, *error);
                }
            }
            self->announce();
        }
        MainQueue::shared().post([pending, outcome, error = std::move(error)] {
            if (pending->report) {
                pending->report(outcome, error);
            }
        });
    };

    auto operation = factory_(
        fileID,
        [pending, finished] {
            auto own = pending->operation.lock();
            bool cancelled = own && own->isCancelled();
            finished(cancelled ? Outcome::Cancelled : Outcome::Downloaded, std::nullopt);
        },
        std::move(progress), [finished](const Error& error) { finished(Outcome::Failed, error); });
    if (!operation) {
        finished(Outcome::Failed, Error::make(kAppErrorDomain, -1, "No download operation"));
        return;
    }
    if (closed) {
        // Shut down: nothing runs any more, and the caller still hears once.
        finished(Outcome::Cancelled, std::nullopt);
        return;
    }
    pending->operation = operation;
    // An operation cancelled before it started finishes without running, so its own callbacks
    // never come: report it here. One cancelled while running reports through its completion
    // before it finishes, which makes this a no-op.
    operation->setCompletionCallback([pending, finished] {
        auto own = pending->operation.lock();
        if (own && own->isCancelled()) {
            finished(Outcome::Cancelled, std::nullopt);
        }
    });
    bool stillQueued = false;
    {
        std::lock_guard lock(mutex_);
        auto entry = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.token == pending->token; });
        if (entry != entries_.end()) {
            entry->operation = operation;
            stillQueued = true;
        }
    }
    if (!stillQueued) {
        // Cancelled between queuing the ID and making the operation. Cancelling reports
        // through the callbacks, which take the lock, so it happens outside it.
        operation->cancel();
        return;
    }
    queue->addOperation(operation);
}

bool SyncDownloadQueue::cancel(std::int64_t fileID) {
    std::vector<std::shared_ptr<AsyncOperation>> operations;
    bool found = false;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_) {
            if (entry.fileID == fileID) {
                found = true;
                if (auto operation = entry.operation.lock()) {
                    operations.push_back(std::move(operation));
                }
            }
        }
        // Cancelled operations keep counting until they have reported.
        for (const Entry& entry : entries_) {
            if (entry.fileID == fileID) {
                draining_.push_back(entry);
            }
        }
        std::erase_if(entries_, [&](const Entry& entry) { return entry.fileID == fileID; });
        errors_.erase(fileID);
        if (entries_.empty()) {
            active_ = false;
        }
    }
    for (const auto& operation : operations) {
        operation->cancel();
    }
    announce();
    return found;
}

void SyncDownloadQueue::cancelAll() {
    std::vector<std::shared_ptr<AsyncOperation>> operations;
    {
        std::lock_guard lock(mutex_);
        bool holdsOperations = (queue_ && queue_->operationCount() > 0) || !entries_.empty();
        if (!holdsOperations) {
            return;
        }
        for (const Entry& entry : entries_) {
            if (auto operation = entry.operation.lock()) {
                operations.push_back(std::move(operation));
            }
        }
        draining_.insert(draining_.end(), entries_.begin(), entries_.end());
        entries_.clear();
        errors_.clear();
        active_ = false;
    }
    for (const auto& operation : operations) {
        operation->cancel();
    }
    announce();
}

bool SyncDownloadQueue::isQueued(std::int64_t fileID) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& entry) { return entry.fileID == fileID; });
}

std::vector<std::int64_t> SyncDownloadQueue::queuedIDs() const {
    std::lock_guard lock(mutex_);
    std::vector<std::int64_t> ids;
    for (const Entry& entry : entries_) {
        if (std::find(ids.begin(), ids.end(), entry.fileID) == ids.end()) {
            ids.push_back(entry.fileID);
        }
    }
    return ids;
}

std::size_t SyncDownloadQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size() + draining_.size();
}

bool SyncDownloadQueue::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

void SyncDownloadQueue::clearActive() {
    {
        std::lock_guard lock(mutex_);
        active_ = false;
    }
    announce();
}

std::size_t SyncDownloadQueue::errorCount() const {
    std::lock_guard lock(mutex_);
    return errors_.size();
}

std::optional<Error> SyncDownloadQueue::errorFor(std::int64_t fileID) const {
    std::lock_guard lock(mutex_);
    auto found = errors_.find(fileID);
    if (found == errors_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void SyncDownloadQueue::removeError(std::int64_t fileID) {
    std::lock_guard lock(mutex_);
    errors_.erase(fileID);
}

std::vector<std::int64_t> SyncDownloadQueue::fileIDsWithErrors() const {
    std::lock_guard lock(mutex_);
    std::vector<std::int64_t> ids;
    ids.reserve(errors_.size());
    for (const auto& [id, error] : errors_) {
        ids.push_back(id);
    }
    return ids;
}

void SyncDownloadQueue::shutdown() {
    std::unique_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        queue = std::move(queue_);
        entries_.clear();
        draining_.clear();
        active_ = false;
    }
    if (queue) {
        queue->cancelAllOperations();
        queue.reset();
    }
}

void SyncDownloadQueue::announce() {
    if (!activity_) {
        return;
    }
    // The state is read when the handler runs, so reports from several threads can never
    // leave an older state as the last one told.
    MainQueue::shared().post([weakSelf = weak_from_this(), activity = activity_] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        std::size_t count = 0;
        bool active = false;
        {
            std::lock_guard lock(self->mutex_);
            count = self->entries_.size() + self->draining_.size();
            active = self->active_;
        }
        activity(count, active);
    });
}

}  // namespace pagewell
