#pragma once
// A bounded pool that runs AsyncOperations on worker threads, at most
// maxConcurrentOperationCount at a time, in the order they were added. An operation holds its
// slot until it has finished (not merely until its main() returned), so asynchronous work such
// as downloads is really limited by the count. Cancelled operations that have not started
// leave the queue at once and never start.
//
// Threading rule: every method may be called from any thread, including from inside an
// operation, except the destructor, which must not run on one of the queue's own workers. The
// destructor cancels what is left and waits for running work to return from main().

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/AsyncOperation.h"

namespace pagewell {

class OperationQueue {
  public:
    explicit OperationQueue(int maxConcurrentOperationCount, std::string name = {});
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // Queues `operation`. An operation belongs to one queue once; adding it again (here or
    // elsewhere) is logged and ignored, and a finished one is ignored.
    void addOperation(const std::shared_ptr<AsyncOperation>& operation);

    // Queues synchronous work: the returned operation finishes when `work` returns.
    std::shared_ptr<AsyncOperation> addOperation(std::function<void()> work);

    // Cancels every queued and running operation.
    void cancelAllOperations();

    // Waits until no operation is queued or running, at most `timeout`. Returns whether the queue
    // emptied. It does not pump the main queue: work that reports back through it is waited for
    // with MainQueue::runUntil and operationCount() instead.
    bool waitUntilAllOperationsAreFinished(std::chrono::milliseconds timeout);

    // Operations queued or running (not yet finished).
    std::size_t operationCount() const;

    int maxConcurrentOperationCount() const;
    const std::string& name() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace pagewell
