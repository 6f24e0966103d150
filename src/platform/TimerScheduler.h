#pragma once
// The timers of one main queue, kept in fire-date order. Due timers fire on the main queue in
// fire-date order, timers with the same fire date in the order they were scheduled.
//
// Time comes from Clock::shared(). With the system clock the scheduler waits on the event loop
// for the earliest fire date; when the clock jumps (ManualClock::advance or set) the timers that
// became due fire on the next pump of the queue, so tests move time without sleeping.
//
// A repeating timer that missed several intervals (the clock jumped, the machine slept) fires
// once and then keeps its rhythm: its next fire date is the first one after now on its original
// grid, as a periodic sync should not run three times in a row after a long sleep.
//
// Threading rule: schedule, invalidate and the queries may be called from any thread; every
// action runs on the main thread. The main queue owns its scheduler and shuts it down before its
// event loop goes away; Timer handles may outlive both.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "platform/Clock.h"
#include "platform/Timer.h"

namespace pagewell {

class MainQueue;

class TimerScheduler : public std::enable_shared_from_this<TimerScheduler> {
  public:
    explicit TimerScheduler(MainQueue& queue);
    ~TimerScheduler();
    TimerScheduler(const TimerScheduler&) = delete;
    TimerScheduler& operator=(const TimerScheduler&) = delete;

    // Schedules `action` for `fireDate`; a repeating timer then fires every `interval` (at least
    // one millisecond). Must be called on a scheduler owned by a shared_ptr (the main queue's).
    Timer schedule(SystemTime fireDate, std::chrono::milliseconds interval, bool repeats,
                   Timer::Action action);

    // Timers that are valid and waiting to fire.
    std::size_t scheduledCount() const;

    // Drops every timer and lets go of the event loop. Called by the main queue before its loop
    // is destroyed; timers scheduled afterwards never fire.
    void shutdown();

  private:
    friend class Timer;
    struct Impl;

    void invalidate(TimerEntry& entry);
    bool isValid(const TimerEntry& entry) const;
    std::optional<SystemTime> fireDate(const TimerEntry& entry) const;

    void requestCheck();
    void check();
    void fireDueTimers();
    void armWait();
    void observeClock();

    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell
