#include "platform/OperationQueue.h"

#include <algorithm>
#include <asio.hpp>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Logger.h"

namespace pagewell {

// Shared with the observers the queue installs on its operations, which may report a finish
// after the queue itself is gone.
struct OperationQueue::State {
    State(int maxCount, std::string queueName)
        : maxConcurrentOperationCount(std::max(maxCount, 1)),
          name(std::move(queueName)),
          workers(std::make_unique<asio::thread_pool>(maxConcurrentOperationCount)) {}

    // Moves queued operations into free slots and hands them to the workers.
    void dispatchLocked() {
        while (!closed && running.size() < static_cast<std::size_t>(maxConcurrentOperationCount) &&
               !pending.empty()) {
            auto operation = std::move(pending.front());
            pending.pop_front();
            running.emplace(operation.get(), operation);
            asio::post(*workers, [operation] { operation->start(); });
        }
    }

    void operationFinished(AsyncOperation* operation) {
        std::lock_guard lock(mutex);
        if (running.erase(operation) > 0) {
            dispatchLocked();
        } else {
            std::erase_if(pending, [operation](const std::shared_ptr<AsyncOperation>& queued) {
                return queued.get() == operation;
            });
        }
        if (pending.empty() && running.empty()) {
            emptied.notify_all();
        }
    }

    const int maxConcurrentOperationCount;
    const std::string name;

    mutable std::mutex mutex;
    std::condition_variable emptied;                      // signalled under mutex
    bool closed = false;                                  // guarded by mutex
    std::deque<std::shared_ptr<AsyncOperation>> pending;  // guarded by mutex
    // Operations holding a slot: handed to a worker and not yet finished.
    std::unordered_map<AsyncOperation*, std::shared_ptr<AsyncOperation>>
        running;  // guarded by mutex
    // Posted to only under mutex while !closed; joined and released by the queue's destructor.
    std::unique_ptr<asio::thread_pool> workers;
};

OperationQueue::OperationQueue(int maxConcurrentOperationCount, std::string name)
    : state_(std::make_shared<State>(maxConcurrentOperationCount, std::move(name))) {}

OperationQueue::~OperationQueue() {
    cancelAllOperations();
    {
        std::lock_guard lock(state_->mutex);
        state_->closed = true;
    }
    // Waits for the workers to return from main(); cancelled operations that had not started
    // finish without running.
    state_->workers->join();
    state_->workers.reset();
}

void OperationQueue::addOperation(const std::shared_ptr<AsyncOperation>& operation) {
    if (!operation) {
        return;
    }
    if (!operation->claimForQueue()) {
        PW_LOG_WARNING("Operation added to queue \"{}\" is already in a queue", state_->name);
        return;
    }
    operation->addObserver([weakState = std::weak_ptr<State>(state_)](
                               AsyncOperation& finished, AsyncOperation::Change change) {
        if (change != AsyncOperation::Change::Finished) {
            return;
        }
        if (auto state = weakState.lock()) {
            state->operationFinished(&finished);
        }
    });
    std::lock_guard lock(state_->mutex);
    // An operation that finished before the observer was installed is never reported; one that
    // finishes from now on is found in `pending` or `running` by the observer.
    if (state_->closed || operation->isFinished()) {
        return;
    }
    state_->pending.push_back(operation);
    state_->dispatchLocked();
}

std::shared_ptr<AsyncOperation> OperationQueue::addOperation(std::function<void()> work) {
    auto operation =
        std::make_shared<AsyncOperation>([work = std::move(work)](AsyncOperation& self) {
            work();
            self.finish();
        });
    addOperation(operation);
    return operation;
}

void OperationQueue::cancelAllOperations() {
    std::vector<std::shared_ptr<AsyncOperation>> operations;
    {
        std::lock_guard lock(state_->mutex);
        operations.assign(state_->pending.begin(), state_->pending.end());
        for (const auto& [pointer, operation] : state_->running) {
            operations.push_back(operation);
        }
    }
    // Outside the lock: cancelling finishes queued operations, whose observers take it.
    for (const auto& operation : operations) {
        operation->cancel();
    }
}

bool OperationQueue::waitUntilAllOperationsAreFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    return state_->emptied.wait_for(
        lock, timeout, [this] { return state_->pending.empty() && state_->running.empty(); });
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->pending.size() + state_->running.size();
}

int OperationQueue::maxConcurrentOperationCount() const {
    return state_->maxConcurrentOperationCount;
}

const std::string& OperationQueue::name() const {
    return state_->name;
}

}  // namespace pagewell
