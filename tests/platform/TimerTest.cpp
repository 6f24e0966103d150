#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/MainQueue.h"
#include "platform/TimerScheduler.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

// Timers on a fresh main queue, driven by a manual clock.
class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Clock::setShared(clock_);
        MainQueue::setShared(queue_);
    }
    void TearDown() override {
        MainQueue::setShared(nullptr);
        Clock::setShared(nullptr);
    }

    // Moves time and pumps what became ready, the way a test waits for timers.
    void advance(std::chrono::milliseconds by) {
        clock_->advance(by);
        queue_->poll();
    }

    Timer::Action record(std::string name) {
        return [this, name] { fired_.push_back(name); };
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    std::shared_ptr<MainQueue> queue_ = std::make_shared<MainQueue>();
    const SystemTime start_ = clock_->now();
    std::vector<std::string> fired_;
};

TEST_F(TimerTest, FiresInFireDateOrderWithTiesInSchedulingOrder) {
    auto late = Timer::scheduledTimer(30s, false, record("30s"));
    auto early = Timer::scheduledTimer(10s, false, record("10s"));
    auto tieFirst = Timer::scheduledTimer(20s, false, record("20s first"));
    auto tieSecond = Timer::scheduledTimer(20s, false, record("20s second"));
    EXPECT_EQ(queue_->timers().scheduledCount(), 4u);

    advance(9'999ms);
    EXPECT_TRUE(fired_.empty());
    advance(1ms);
    EXPECT_EQ(fired_, (std::vector<std::string>{"10s"}));
    EXPECT_FALSE(early.isValid());
    EXPECT_TRUE(late.isValid());

    advance(60s);
    EXPECT_EQ(fired_, (std::vector<std::string>{"10s", "20s first", "20s second", "30s"}));
    EXPECT_EQ(queue_->timers().scheduledCount(), 0u);
    EXPECT_FALSE(late.isValid());
}

TEST_F(TimerTest, RepeatingTimerKeepsItsRhythmAndFiresOnceAfterAJump) {
    int count = 0;
    auto timer = Timer::scheduledTimer(10s, true, [&] { ++count; });
    EXPECT_EQ(timer.fireDate(), start_ + 10s);

    advance(10s);
    EXPECT_EQ(count, 1);
    advance(10s);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(timer.fireDate(), start_ + 30s);

    advance(35s);  // three intervals missed: one firing, then back on the 10-second grid
    EXPECT_EQ(count, 3);
    EXPECT_EQ(timer.fireDate(), start_ + 60s);
    advance(5s);
    EXPECT_EQ(count, 4);

    timer.invalidate();
    EXPECT_FALSE(timer.isValid());
    EXPECT_EQ(timer.fireDate(), std::nullopt);
    advance(100s);
    EXPECT_EQ(count, 4);
}

TEST_F(TimerTest, InvalidatedDestroyedAndReplacedTimersNeverFire) {
    auto invalidated = Timer::scheduledTimer(10s, false, record("invalidated"));
    invalidated.invalidate();
    { auto destroyed = Timer::scheduledTimer(10s, false, record("destroyed")); }
    auto replaced = Timer::scheduledTimer(10s, false, record("replaced"));
    replaced = Timer::scheduledTimer(10s, false, record("replacement"));
    auto victim = Timer::scheduledTimer(10s, false, record("victim"));
    auto killer = Timer::scheduledTimer(5s, false, [&] {
        fired_.push_back("killer");
        victim.invalidate();
    });
    int selfCancelling = 0;
    Timer repeating;
    repeating = Timer::scheduledTimer(1s, true, [&] {
        ++selfCancelling;
        repeating.invalidate();
    });

    advance(20s);  // one jump: the killer fires first and must stop the victim in the same pass
    EXPECT_EQ(fired_, (std::vector<std::string>{"killer", "replacement"}));
    EXPECT_EQ(selfCancelling, 1);
    EXPECT_EQ(queue_->timers().scheduledCount(), 0u);
}

TEST_F(TimerTest, ATimerScheduledOnAWorkerFiresOnTheMainThread) {
    bool onMainThread = false;
    Timer timer;
    std::thread worker([&] {
        timer = Timer::scheduledTimer(1s, false, [&] { onMainThread = queue_->isMainThread(); });
    });
    worker.join();
    advance(1s);
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(timer.isValid());
}

TEST_F(TimerTest, AZeroIntervalTimerFiresOnTheNextPumpWithoutTimeMoving) {
    auto timer = Timer::scheduledTimer(0ms, false, record("now"));
    EXPECT_TRUE(fired_.empty());
    queue_->poll();
    EXPECT_EQ(fired_, (std::vector<std::string>{"now"}));
}

TEST_F(TimerTest, AHandleOutlivingItsQueueIsInvalidAndHarmless) {
    auto timer = Timer::scheduledTimer(10s, true, record("orphan"));
    MainQueue::setShared(nullptr);
    queue_.reset();
    EXPECT_FALSE(timer.isValid());
    EXPECT_EQ(timer.fireDate(), std::nullopt);
    clock_->advance(20s);
    timer.invalidate();
    EXPECT_TRUE(fired_.empty());
}

TEST(TimerSystemClockTest, WaitsOnTheEventLoopForTheSystemClock) {
    Clock::setShared(nullptr);
    MainQueue queue;
    bool fired = false;
    auto timer = Timer::scheduledTimer(queue, 5ms, false, [&] { fired = true; });
    EXPECT_TRUE(queue.runUntil([&] { return fired; }, 10s));
}

}  // namespace
}  // namespace pagewell
