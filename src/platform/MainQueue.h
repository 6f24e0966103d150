#pragma once
// The main queue: the one event loop on which everything the user sees, every flow and every
// server callback runs. "Callbacks arrive on the main queue" means they are posted here.
//
// Threading rule: post() and stop() may be called from any thread. The run functions (runUntil,
// runFor, run, poll) are called only by the main thread; the main thread is the thread that runs
// the loop, and before the loop has ever run, the thread that created the queue. Handlers run one
// at a time on the main thread, in the order they were posted.
//
// The command-line application runs the queue until a command's work completes; tests pump it
// with runUntil and a bounded timeout. Timeouts of the run functions are real elapsed time, not
// Clock::shared() time: they bound how long a caller blocks, which a test clock must not stretch.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace asio {
class io_context;
}

namespace pagewell {

class TimerScheduler;

class MainQueue {
  public:
    MainQueue();
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    // Queues `handler` to run on the main thread. Never runs it inline, even on the main thread.
    void post(std::function<void()> handler);

    bool isMainThread() const;

    // Runs handlers until `predicate` holds or `timeout` has passed. The predicate is checked
    // before the first handler and after each one. Returns whether the predicate became true
    // (false on timeout or when stop() ended the run).
    bool runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

    // Runs handlers for `duration` (or until stop()); returns how many ran.
    std::size_t runFor(std::chrono::milliseconds duration);

    // Runs handlers until stop(); returns how many ran.
    std::size_t run();

    // Runs the handlers that are ready now without waiting; returns how many ran.
    std::size_t poll();

    // Ends the current run as soon as the running handler returns. When no run is under way, the
    // next one returns at once: a stop is never lost to a race with entering the loop.
    void stop();

    // The timers that fire on this queue (see Timer).
    TimerScheduler& timers();

    // The event loop itself, for platform adapters that wait on it (timers, signal sets).
    asio::io_context& context();

    // The process-wide main queue: created on first use unless a test or the start-up sequence
    // replaced it. setShared(nullptr) installs a fresh queue.
    static MainQueue& shared();
    static std::shared_ptr<MainQueue> sharedPointer();
    static void setShared(std::shared_ptr<MainQueue> queue);

  private:
    struct Impl;
    bool beginRun();
    bool stopConsumed();

    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell
