#pragma once
// One unit of background work, run by an OperationQueue (or started by hand).
//
//   queued ──start()──▶ executing ──finish()──▶ finished
//     │                    │
//   cancel()             cancel(): isCancelled() turns true and onCancel() runs; the work
//     │                  notices and calls finish() itself
//     ▼
//   finished (the work never starts)
//
// The operation is finished when finish() is called, not when main() returns, so work that
// completes later (a download waiting for its transfer) keeps its queue slot until it is really
// done. Synchronous work simply calls finish() at the end of main().
//
// Observers hear of every change of the executing, finished and cancelled flags, on the thread
// that made the change. The completion callback runs once, on the finishing thread, after the
// flags say finished and before observers (and so the owning queue) hear of it.
//
// Threading rule: every public method may be called from any thread. Operations are shared
// through std::shared_ptr; a running operation keeps itself alive until it has finished telling
// its observers.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pagewell {

class AsyncOperation : public std::enable_shared_from_this<AsyncOperation> {
  public:
    enum class Change { Executing, Finished, Cancelled };
    using Observer = std::function<void(AsyncOperation& operation, Change change)>;
    using Work = std::function<void(AsyncOperation& operation)>;

    // Without `work`, subclasses override main().
    AsyncOperation() = default;
    explicit AsyncOperation(Work work);
    virtual ~AsyncOperation() = default;
    AsyncOperation(const AsyncOperation&) = delete;
    AsyncOperation& operator=(const AsyncOperation&) = delete;

    // Runs the work on the calling thread: a cancelled operation finishes at once without
    // starting it; a started or finished one is left alone.
    void start();

    // Marks the operation finished. Only the first call counts.
    void finish();

    // A queued operation goes straight to finished; a running one is told through isCancelled()
    // and onCancel() and ends itself.
    void cancel();

    bool isExecuting() const;
    bool isFinished() const;
    bool isCancelled() const;

    // Returns a token for removeObserver. An observer may remove itself (or others) while it is
    // being called; a removed observer is not called again.
    int addObserver(Observer observer);
    void removeObserver(int token);

    // Called once when the operation finishes; setting it afterwards has no effect.
    void setCompletionCallback(std::function<void()> completion);

  protected:
    // The work, started on a worker thread. Calls finish() when done, now or later.
    virtual void main();
    // Called on the cancelling thread when a running operation is cancelled: the place to abort
    // a transfer. The default does nothing.
    virtual void onCancel() {}

  private:
    friend class OperationQueue;
    struct ObserverEntry;
    void notify(Change change);
    // Marks the operation as taken by a queue; false when a queue already has it.
    bool claimForQueue();

    Work work_;  // set once at construction

    mutable std::mutex mutex_;
    bool claimed_ = false;                                   // guarded by mutex_
    bool started_ = false;                                   // guarded by mutex_
    bool executing_ = false;                                 // guarded by mutex_
    bool finished_ = false;                                  // guarded by mutex_
    bool cancelled_ = false;                                 // guarded by mutex_
    int nextObserverToken_ = 1;                              // guarded by mutex_
    std::vector<std::shared_ptr<ObserverEntry>> observers_;  // guarded by mutex_
    std::function<void()> completion_;                       // guarded by mutex_
};

}  // namespace pagewell
