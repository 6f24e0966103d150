#pragma once
// A timer that fires on the main queue when Clock::shared() reaches its fire date. The handle
// owns the timer: destroying or reassigning it invalidates the timer, so an object that holds its
// timers as members can never be called back after it is gone.
//
// Threading rule: a Timer handle is a value used by one thread at a time. Invalidating it on the
// main thread guarantees that its action is not called afterwards; invalidating it on another
// thread may let a firing that is already under way finish.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Clock.h"

namespace pagewell {

class MainQueue;
class TimerScheduler;
struct TimerEntry;

class Timer {
  public:
    using Action = std::function<void()>;

    // Fires `action` once the clock reaches now + `interval`; a repeating timer fires again
    // every `interval` after that until it is invalidated.
    static Timer scheduledTimer(std::chrono::milliseconds interval, bool repeats, Action action);
    static Timer scheduledTimer(MainQueue& queue, std::chrono::milliseconds interval, bool repeats,
                                Action action);
    // Fires first at `fireDate`, then (when repeating) every `interval`.
    static Timer scheduledTimer(MainQueue& queue, SystemTime fireDate,
                                std::chrono::milliseconds interval, bool repeats, Action action);

    Timer() = default;  // a timer that is not scheduled
    ~Timer();
    Timer(Timer&& other) noexcept = default;
    Timer& operator=(Timer&& other) noexcept;
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Stops the timer for good. A one-shot timer is also invalid once it has fired.
    void invalidate();
    bool isValid() const;
    // When the timer fires next; nothing once it is invalid.
    std::optional<SystemTime> fireDate() const;

  private:
    friend class TimerScheduler;
    Timer(std::weak_ptr<TimerScheduler> scheduler, std::shared_ptr<TimerEntry> entry);

    std::weak_ptr<TimerScheduler> scheduler_;
    std::shared_ptr<TimerEntry> entry_;
};

}  // namespace pagewell
