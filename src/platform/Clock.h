#pragma once
// The injectable clock. Every "now" in the logic comes from Clock::shared(), so tests set a
// ManualClock and move time by hand. Thread-safe: now() may be called from any thread.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace pagewell {

using SystemTime = std::chrono::system_clock::time_point;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual SystemTime now() const = 0;

    // Called after the clock jumps (ManualClock::advance/set); the system clock never calls it.
    // Returns a token for removeJumpObserver.
    virtual int addJumpObserver(std::function<void()> observer);
    virtual void removeJumpObserver(int token);

    // The process-wide clock: a SystemClock unless a test replaced it.
    static Clock& shared();
    static std::shared_ptr<Clock> sharedPointer();
    static void setShared(std::shared_ptr<Clock> clock);  // nullptr restores the system clock
};

class SystemClock final : public Clock {
  public:
    SystemTime now() const override { return std::chrono::system_clock::now(); }
};

class ManualClock final : public Clock {
  public:
    explicit ManualClock(SystemTime start = SystemTime{std::chrono::seconds{1'700'000'000}});

    SystemTime now() const override;
    void set(SystemTime time);
    void advance(std::chrono::milliseconds by);

    int addJumpObserver(std::function<void()> observer) override;
    void removeJumpObserver(int token) override;

  private:
    void notifyJump();

    mutable std::mutex mutex_;
    SystemTime now_;                                                // guarded by mutex_
    int nextToken_ = 1;                                             // guarded by mutex_
    std::vector<std::pair<int, std::function<void()>>> observers_;  // guarded by mutex_
};

}  // namespace pagewell
