#include "platform/Clock.h"

namespace pagewell {

namespace {
std::mutex gClockMutex;
std::shared_ptr<Clock>& clockSlot() {
    static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}
}  // namespace

int Clock::addJumpObserver(std::function<void()>) {
    return 0;
}
void Clock::removeJumpObserver(int) {}

Clock& Clock::shared() {
    return *sharedPointer();
}

std::shared_ptr<Clock> Clock::sharedPointer() {
    std::lock_guard lock(gClockMutex);
    return clockSlot();
}

void Clock::setShared(std::shared_ptr<Clock> clock) {
    std::lock_guard lock(gClockMutex);
    clockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

ManualClock::ManualClock(SystemTime start) : now_(start) {}

SystemTime ManualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualClock::set(SystemTime time) {
    {
        std::lock_guard lock(mutex_);
        now_ = time;
    }
    notifyJump();
}

void ManualClock::advance(std::chrono::milliseconds by) {
    {
        std::lock_guard lock(mutex_);
        now_ += by;
    }
    notifyJump();
}

int ManualClock::addJumpObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    int token = nextToken_++;
    observers_.emplace_back(token, std::move(observer));
    return token;
}

void ManualClock::removeJumpObserver(int token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void ManualClock::notifyJump() {
    std::vector<std::function<void()>> toCall;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : observers_) {
            toCall.push_back(entry.second);
        }
    }
    for (auto& observer : toCall) {
        observer();
    }
}

}  // namespace pagewell
