#include "platform/TimerScheduler.h"

#include <algorithm>
#include <asio.hpp>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/Logger.h"
#include "platform/MainQueue.h"

namespace pagewell {

// One scheduled timer. The action and rhythm never change after scheduling; the rest is guarded
// by the owning scheduler's mutex.
struct TimerEntry {
    Timer::Action action;
    std::chrono::milliseconds interval{0};
    bool repeats = false;
    bool valid = true;
    SystemTime fireDate;
    std::uint64_t sequence = 0;
};

namespace {

using Key = std::pair<SystemTime, std::uint64_t>;

// A steady wait longer than this is cut short and re-armed, so that far-away fire dates cannot
// overflow the conversion to the steady clock.
constexpr auto kLongestWait = std::chrono::hours(24);

SystemTime nextFireDate(const TimerEntry& entry, SystemTime now) {
    const auto interval = std::chrono::duration_cast<SystemTime::duration>(entry.interval);
    SystemTime next = entry.fireDate + interval;
    if (next <= now) {
        const auto missed = (now - entry.fireDate) / interval;
        next = entry.fireDate + (missed + 1) * interval;
    }
    return next;
}

void runAction(const TimerEntry& entry) {
    try {
        entry.action();
    } catch (const std::exception& exception) {
        PW_LOG_ERROR("Uncaught exception in a timer: {}", exception.what());
    } catch (...) {
        PW_LOG_ERROR("Uncaught exception in a timer");
    }
}

}  // namespace

struct TimerScheduler::Impl {
    explicit Impl(MainQueue& mainQueue) : queue(mainQueue), wait(std::in_place, queue.context()) {}

    MainQueue& queue;

    mutable std::mutex mutex;
    bool closed = false;                                 // guarded by mutex
    bool checkPosted = false;                            // guarded by mutex
    std::uint64_t nextSequence = 0;                      // guarded by mutex
    std::map<Key, std::shared_ptr<TimerEntry>> pending;  // guarded by mutex

    // Touched only on the main thread (and by shutdown, which runs when the loop does not).
    std::optional<asio::steady_timer> wait;

    std::mutex clockMutex;
    std::shared_ptr<Clock> observedClock;  // guarded by clockMutex
    int jumpObserverToken = 0;             // guarded by clockMutex
};

TimerScheduler::TimerScheduler(MainQueue& queue) : impl_(std::make_unique<Impl>(queue)) {}

TimerScheduler::~TimerScheduler() {
    std::lock_guard lock(impl_->clockMutex);
    if (impl_->observedClock) {
        impl_->observedClock->removeJumpObserver(impl_->jumpObserverToken);
    }
}

Timer TimerScheduler::schedule(SystemTime fireDate, std::chrono::milliseconds interval,
                               bool repeats, Timer::Action action) {
    auto entry = std::make_shared<TimerEntry>();
    entry->action = std::move(action);
    entry->interval = std::max(interval, std::chrono::milliseconds{1});
    entry->repeats = repeats;
    entry->fireDate = fireDate;
    observeClock();
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->closed) {
            entry->valid = false;
            return Timer(weak_from_this(), std::move(entry));
        }
        entry->sequence = impl_->nextSequence++;
        impl_->pending.emplace(Key{entry->fireDate, entry->sequence}, entry);
    }
    requestCheck();
    return Timer(weak_from_this(), std::move(entry));
}

std::size_t TimerScheduler::scheduledCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->pending.size();
}

void TimerScheduler::shutdown() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->closed = true;
        for (auto& [key, entry] : impl_->pending) {
            entry->valid = false;
        }
        impl_->pending.clear();
    }
    impl_->wait.reset();
    std::lock_guard lock(impl_->clockMutex);
    if (impl_->observedClock) {
        impl_->observedClock->removeJumpObserver(impl_->jumpObserverToken);
        impl_->observedClock.reset();
    }
}

void TimerScheduler::invalidate(TimerEntry& entry) {
    std::lock_guard lock(impl_->mutex);
    if (!entry.valid) {
        return;
    }
    entry.valid = false;
    impl_->pending.erase(Key{entry.fireDate, entry.sequence});
}

bool TimerScheduler::isValid(const TimerEntry& entry) const {
    std::lock_guard lock(impl_->mutex);
    return entry.valid;
}

std::optional<SystemTime> TimerScheduler::fireDate(const TimerEntry& entry) const {
    std::lock_guard lock(impl_->mutex);
    if (!entry.valid) {
        return std::nullopt;
    }
    return entry.fireDate;
}

void TimerScheduler::requestCheck() {
    std::lock_guard lock(impl_->mutex);
    // Posting under the mutex: once shutdown() has set `closed`, nothing reaches the loop.
    if (impl_->closed || impl_->checkPosted) {
        return;
    }
    impl_->checkPosted = true;
    impl_->queue.post([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->check();
        }
    });
}

void TimerScheduler::check() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->checkPosted = false;
    }
    observeClock();
    fireDueTimers();
    armWait();
}

void TimerScheduler::fireDueTimers() {
    const SystemTime now = Clock::shared().now();
    while (true) {
        std::shared_ptr<TimerEntry> entry;
        {
            std::lock_guard lock(impl_->mutex);
            if (impl_->closed || impl_->pending.empty() ||
                impl_->pending.begin()->first.first > now) {
                return;
            }
            auto first = impl_->pending.begin();
            entry = first->second;
            impl_->pending.erase(first);
            // Re-queued before the action runs, so that the action sees its next fire date and
            // can invalidate its own timer.
            if (entry->repeats) {
                entry->fireDate = nextFireDate(*entry, now);
                entry->sequence = impl_->nextSequence++;
                impl_->pending.emplace(Key{entry->fireDate, entry->sequence}, entry);
            } else {
                entry->valid = false;
            }
        }
        runAction(*entry);
    }
}

void TimerScheduler::armWait() {
    if (!impl_->wait) {
        return;
    }
    SystemTime earliest;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->closed) {
            return;
        }
        if (impl_->pending.empty()) {
            impl_->wait->cancel();
            return;
        }
        earliest = impl_->pending.begin()->first.first;
    }
    const auto remaining = earliest - Clock::shared().now();
    if (remaining <= SystemTime::duration::zero()) {
        requestCheck();
        return;
    }
    const auto delay = std::min<std::chrono::steady_clock::duration>(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(remaining), kLongestWait);
    impl_->wait->expires_after(delay);  // also cancels the previous wait
    impl_->wait->async_wait([weak = weak_from_this()](const std::error_code& error) {
        if (error) {
            return;  // replaced by a newer wait, or shut down
        }
        if (auto self = weak.lock()) {
            self->check();
        }
    });
}

void TimerScheduler::observeClock() {
    auto clock = Clock::sharedPointer();
    std::lock_guard lock(impl_->clockMutex);
    if (clock == impl_->observedClock) {
        return;
    }
    if (impl_->observedClock) {
        impl_->observedClock->removeJumpObserver(impl_->jumpObserverToken);
    }
    impl_->observedClock = clock;
    impl_->jumpObserverToken = clock->addJumpObserver([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->requestCheck();
        }
    });
}

}  // namespace pagewell
