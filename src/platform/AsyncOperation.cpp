#include "platform/AsyncOperation.h"

#include <atomic>
#include <exception>
#include <utility>

#include "platform/Logger.h"

namespace pagewell {

struct AsyncOperation::ObserverEntry {
    int token = 0;
    Observer observer;
    // Cleared under the operation's mutex; read without it while delivering, so that an observer
    // removed by an earlier one in the same delivery is skipped.
    std::atomic<bool> active{true};
};

AsyncOperation::AsyncOperation(Work work) : work_(std::move(work)) {}

void AsyncOperation::start() {
    auto keepAlive = weak_from_this().lock();
    bool skipWork = false;
    {
        std::lock_guard lock(mutex_);
        if (started_ || finished_) {
            return;
        }
        started_ = true;
        skipWork = cancelled_;
        executing_ = !skipWork;
    }
    if (skipWork) {
        finish();
        return;
    }
    notify(Change::Executing);
    // Work that throws is a bug; it must not take the worker thread (or the queue slot) with it.
    try {
        main();
    } catch (const std::exception& exception) {
        PW_LOG_ERROR("Operation ended by an exception: {}", exception.what());
        finish();
    } catch (...) {
        PW_LOG_ERROR("Operation ended by an exception");
        finish();
    }
}

void AsyncOperation::finish() {
    auto keepAlive = weak_from_this().lock();
    bool wasExecuting = false;
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        if (finished_) {
            return;
        }
        wasExecuting = executing_;
        executing_ = false;
        finished_ = true;
        completion = std::exchange(completion_, nullptr);
    }
    if (completion) {
        completion();
    }
    if (wasExecuting) {
        notify(Change::Executing);
    }
    notify(Change::Finished);
}

void AsyncOperation::cancel() {
    auto keepAlive = weak_from_this().lock();
    bool running = false;
    bool notStarted = false;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) {
            return;
        }
        cancelled_ = true;
        running = executing_;
        notStarted = !started_;
    }
    notify(Change::Cancelled);
    if (running) {
        onCancel();
    }
    if (notStarted) {
        finish();
    }
}

bool AsyncOperation::isExecuting() const {
    std::lock_guard lock(mutex_);
    return executing_;
}

bool AsyncOperation::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool AsyncOperation::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

int AsyncOperation::addObserver(Observer observer) {
    auto entry = std::make_shared<ObserverEntry>();
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    entry->token = nextObserverToken_++;
    observers_.push_back(entry);
    return entry->token;
}

void AsyncOperation::removeObserver(int token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const std::shared_ptr<ObserverEntry>& entry) {
        if (entry->token != token) {
            return false;
        }
        entry->active = false;
        return true;
    });
}

void AsyncOperation::setCompletionCallback(std::function<void()> completion) {
    std::lock_guard lock(mutex_);
    if (!finished_) {
        completion_ = std::move(completion);
    }
}

bool AsyncOperation::claimForQueue() {
    std::lock_guard lock(mutex_);
    return !std::exchange(claimed_, true);
}

void AsyncOperation::main() {
    if (work_) {
        work_(*this);
    } else {
        finish();
    }
}

void AsyncOperation::notify(Change change) {
    std::vector<std::shared_ptr<ObserverEntry>> observers;
    {
        std::lock_guard lock(mutex_);
        observers = observers_;
    }
    for (const auto& entry : observers) {
        if (entry->active) {
            entry->observer(*this, change);
        }
    }
}

}  // namespace pagewell
