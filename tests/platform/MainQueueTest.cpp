#include "platform/MainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pagewell {
namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 10s;  // only reached when the code under test is broken

class MainQueueTest : public ::testing::Test {
  protected:
    MainQueue queue_;
};

TEST_F(MainQueueTest, HandlersPostedFromAWorkerRunOnTheMainThreadInPostingOrder) {
    constexpr int kCount = 100;
    std::vector<int> order;
    int onMainThread = 0;
    std::atomic<bool> workerSawMainThread{true};
    std::thread worker([&] {
        workerSawMainThread = queue_.isMainThread();
        for (int i = 0; i < kCount; ++i) {
            queue_.post([&, i] {
                order.push_back(i);
                onMainThread += queue_.isMainThread() ? 1 : 0;
            });
        }
    });
    ASSERT_TRUE(queue_.runUntil([&] { return order.size() == kCount; }, kBound));
    worker.join();

    EXPECT_FALSE(workerSawMainThread);
    EXPECT_EQ(onMainThread, kCount);
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(order[i], i);
    }
}

TEST_F(MainQueueTest, PostNeverRunsTheHandlerInline) {
    bool ran = false;
    queue_.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue_.poll(), 1u);
    EXPECT_TRUE(ran);
}

TEST_F(MainQueueTest, RunUntilReturnsAsSoonAsThePredicateHolds) {
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        queue_.post([&] { ++count; });
    }
    EXPECT_TRUE(queue_.runUntil([&] { return count >= 1; }, kBound));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(queue_.poll(), 2u);
    EXPECT_EQ(count, 3);
}

TEST_F(MainQueueTest, RunUntilReturnsFalseWhenTheTimeoutPasses) {
    bool ran = false;
    queue_.post([&] { ran = true; });
    EXPECT_FALSE(queue_.runUntil([] { return false; }, 20ms));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(queue_.runUntil([&] { return ran; }, 0ms));
}

TEST_F(MainQueueTest, StopEndsTheRunAfterTheCurrentHandler) {
    int after = 0;
    queue_.post([&] { queue_.stop(); });
    queue_.post([&] { ++after; });
    EXPECT_EQ(queue_.runFor(kBound), 1u);
    EXPECT_EQ(after, 0);
    // The stop was used up by that run; the next one carries on.
    EXPECT_TRUE(queue_.runUntil([&] { return after == 1; }, kBound));
}

TEST_F(MainQueueTest, StopBeforeARunIsNotLost) {
    bool ran = false;
    queue_.post([&] { ran = true; });
    queue_.stop();
    EXPECT_FALSE(queue_.runUntil([&] { return ran; }, kBound));
    EXPECT_FALSE(ran);
    EXPECT_EQ(queue_.poll(), 1u);
    EXPECT_TRUE(ran);
}

TEST(MainQueueSharedTest, SetSharedReplacesTheQueueAndNullInstallsAFreshOne) {
    auto mine = std::make_shared<MainQueue>();
    MainQueue::setShared(mine);
    EXPECT_EQ(&MainQueue::shared(), mine.get());
    MainQueue::setShared(nullptr);
    EXPECT_NE(MainQueue::sharedPointer(), nullptr);
    EXPECT_NE(&MainQueue::shared(), mine.get());
}

}  // namespace
}  // namespace pagewell
