#include "platform/Timer.h"

#include <utility>

#include "platform/MainQueue.h"
#include "platform/TimerScheduler.h"

namespace pagewell {

Timer Timer::scheduledTimer(std::chrono::milliseconds interval, bool repeats, Action action) {
    return scheduledTimer(MainQueue::shared(), interval, repeats, std::move(action));
}

Timer Timer::scheduledTimer(MainQueue& queue, std::chrono::milliseconds interval, bool repeats,
                            Action action) {
    return scheduledTimer(queue, Clock::shared().now() + interval, interval, repeats,
                          std::move(action));
}

Timer Timer::scheduledTimer(MainQueue& queue, SystemTime fireDate,
                            std::chrono::milliseconds interval, bool repeats, Action action) {
    return queue.timers().schedule(fireDate, interval, repeats, std::move(action));
}

Timer::Timer(std::weak_ptr<TimerScheduler> scheduler, std::shared_ptr<TimerEntry> entry)
    : scheduler_(std::move(scheduler)), entry_(std::move(entry)) {}

Timer::~Timer() {
    invalidate();
}

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        invalidate();
        scheduler_ = std::move(other.scheduler_);
        entry_ = std::move(other.entry_);
    }
    return *this;
}

void Timer::invalidate() {
    if (!entry_) {
        return;
    }
    if (auto scheduler = scheduler_.lock()) {
        scheduler->invalidate(*entry_);
    }
    entry_.reset();
    scheduler_.reset();
}

bool Timer::isValid() const {
    auto scheduler = scheduler_.lock();
    return entry_ && scheduler && scheduler->isValid(*entry_);
}

std::optional<SystemTime> Timer::fireDate() const {
    auto scheduler = scheduler_.lock();
    if (!entry_ || !scheduler) {
        return std::nullopt;
    }
    return scheduler->fireDate(*entry_);
}

}  // namespace pagewell
