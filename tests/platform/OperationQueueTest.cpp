#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MainQueue.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

constexpr auto kBound = 10s;  // only reached when the code under test is broken

// Counts operations running at once and remembers the most ever seen.
struct ConcurrencyProbe {
    std::atomic<int> running{0};
    std::atomic<int> peak{0};

    void enter() {
        int now = ++running;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
    }
    void leave() { --running; }
};

// An operation that reports its start on the main queue and runs until the test releases it
// (or cancels it). Asynchronous ones return from main() at once and finish on release, like a
// download; synchronous ones block in main() until released.
class GatedOperation : public AsyncOperation {
  public:
    GatedOperation(MainQueue& mainQueue, ConcurrencyProbe& probe, bool asynchronous,
                   std::vector<GatedOperation*>& started)
        : mainQueue_(mainQueue), probe_(probe), asynchronous_(asynchronous), started_(started) {}

    void release() {
        if (asynchronous_) {
            if (!released_.exchange(true)) {
                probe_.leave();
                finish();
            }
            return;
        }
        std::lock_guard lock(gateMutex_);
        open_ = true;
        gate_.notify_all();
    }

    int mainCalls() const { return mainCalls_; }

  protected:
    void main() override {
        ++mainCalls_;
        probe_.enter();
        mainQueue_.post([this] { started_.push_back(this); });
        if (asynchronous_) {
            return;
        }
        {
            std::unique_lock lock(gateMutex_);
            gate_.wait_for(lock, kBound, [this] { return open_; });
        }
        probe_.leave();
        finish();
    }

    void onCancel() override { release(); }

  private:
    MainQueue& mainQueue_;
    ConcurrencyProbe& probe_;
    const bool asynchronous_;
    std::vector<GatedOperation*>& started_;  // touched on the main thread only
    std::atomic<int> mainCalls_{0};
    std::atomic<bool> released_{false};
    std::mutex gateMutex_;
    std::condition_variable gate_;
    bool open_ = false;  // guarded by gateMutex_
};

class OperationQueueTest : public ::testing::Test {
  protected:
    std::shared_ptr<GatedOperation> makeOperation(bool asynchronous) {
        return std::make_shared<GatedOperation>(mainQueue_, probe_, asynchronous, started_);
    }

    MainQueue mainQueue_;
    ConcurrencyProbe probe_;
    std::vector<GatedOperation*> started_;
};

struct LimitCase {
    int maxConcurrent;
    bool asynchronous;
    int operations;
};

class OperationQueueLimitTest : public OperationQueueTest,
                                public ::testing::WithParamInterface<LimitCase> {};

// Releases the oldest running operation each time the queue has filled every slot it can, so a
// queue that admitted too many would be caught by the probe's peak and one that admitted too few
// would never fill its slots.
TEST_P(OperationQueueLimitTest, NeverRunsMoreThanTheMaximumAndFillsEverySlot) {
    const auto [maxConcurrent, asynchronous, total] = GetParam();
    OperationQueue queue(maxConcurrent, "limit");
    std::vector<std::shared_ptr<GatedOperation>> operations;
    for (int i = 0; i < total; ++i) {
        operations.push_back(makeOperation(asynchronous));
        queue.addOperation(operations.back());
    }
    EXPECT_EQ(queue.operationCount(), static_cast<std::size_t>(total));

    for (int released = 0; released < total; ++released) {
        const auto expectedRunning =
            static_cast<std::size_t>(std::min(maxConcurrent, total - released));
        ASSERT_TRUE(mainQueue_.runUntil(
            [&] { return started_.size() - released >= expectedRunning; }, kBound))
            << "released " << released;
        started_[released]->release();
    }
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));

    EXPECT_EQ(probe_.peak, maxConcurrent);
    EXPECT_EQ(queue.operationCount(), 0u);
    mainQueue_.poll();
    EXPECT_EQ(started_.size(), static_cast<std::size_t>(total));
    for (const auto& operation : operations) {
        EXPECT_EQ(operation->mainCalls(), 1);
        EXPECT_TRUE(operation->isFinished());
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, OperationQueueLimitTest,
                         ::testing::Values(LimitCase{4, true, 12},  // downloads
                                           LimitCase{4, false, 12}, LimitCase{5, false, 11},
                                           LimitCase{1, true, 4}, LimitCase{1, false, 4}),
                         [](const ::testing::TestParamInfo<LimitCase>& param) {
                             return std::to_string(param.param.maxConcurrent) +
                                    (param.param.asynchronous ? "Asynchronous" : "Synchronous");
                         });

TEST_F(OperationQueueTest, ACancelledQueuedOperationFinishesAtOnceAndNeverStarts) {
    OperationQueue queue(1);
    auto first = makeOperation(true);
    auto second = makeOperation(true);
    auto third = makeOperation(true);
    int secondCompletions = 0;
    second->setCompletionCallback([&] { ++secondCompletions; });
    for (const auto& operation : {first, second, third}) {
        queue.addOperation(operation);
    }
    ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 1; }, kBound));

    second->cancel();
    EXPECT_TRUE(second->isCancelled());
    EXPECT_TRUE(second->isFinished());
    EXPECT_FALSE(second->isExecuting());
    EXPECT_EQ(secondCompletions, 1);
    EXPECT_EQ(queue.operationCount(), 2u);

    first->release();
    ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 2; }, kBound));
    EXPECT_EQ(started_[1], third.get());
    third->release();
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_EQ(second->mainCalls(), 0);
    EXPECT_EQ(secondCompletions, 1);
}

TEST_F(OperationQueueTest, ACancelledRunningOperationEndsItselfAndFreesItsSlot) {
    for (bool asynchronous : {true, false}) {
        SCOPED_TRACE(asynchronous ? "asynchronous" : "synchronous");
        started_.clear();
        OperationQueue queue(1);
        auto running = makeOperation(asynchronous);
        auto next = makeOperation(asynchronous);
        queue.addOperation(running);
        queue.addOperation(next);
        ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 1; }, kBound));

        running->cancel();
        ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 2; }, kBound));
        EXPECT_TRUE(running->isCancelled());
        EXPECT_TRUE(running->isFinished());
        EXPECT_FALSE(next->isCancelled());
        next->release();
        ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    }
}

TEST_F(OperationQueueTest, CancelAllOperationsEndsRunningOnesAndStartsNoQueuedOne) {
    OperationQueue queue(2);
    std::vector<std::shared_ptr<GatedOperation>> operations;
    for (int i = 0; i < 6; ++i) {
        operations.push_back(makeOperation(true));
        queue.addOperation(operations.back());
    }
    ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 2; }, kBound));

    queue.cancelAllOperations();
    EXPECT_EQ(queue.operationCount(), 0u);
    EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(0ms));
    mainQueue_.poll();
    EXPECT_EQ(started_.size(), 2u);
    int mainCalls = 0;
    for (const auto& operation : operations) {
        EXPECT_TRUE(operation->isCancelled());
        EXPECT_TRUE(operation->isFinished());
        mainCalls += operation->mainCalls();
    }
    EXPECT_EQ(mainCalls, 2);
    EXPECT_EQ(probe_.running, 0);
}

TEST_F(OperationQueueTest, WorkThatThrowsStillFinishesAndFreesItsSlot) {
    OperationQueue queue(1);
    auto throwing = queue.addOperation([] { throw std::runtime_error("broken"); });
    std::atomic<bool> nextRan{false};
    auto next = queue.addOperation([&] { nextRan = true; });
    ASSERT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
    EXPECT_TRUE(throwing->isFinished());
    EXPECT_TRUE(next->isFinished());
    EXPECT_TRUE(nextRan);
}

TEST_F(OperationQueueTest, AnOperationJoinsOneQueueOnceAndWaitingIsBounded) {
    OperationQueue queue(2);
    OperationQueue other(2);
    auto operation = makeOperation(true);
    queue.addOperation(operation);
    queue.addOperation(operation);
    other.addOperation(operation);
    EXPECT_EQ(queue.operationCount(), 1u);
    EXPECT_EQ(other.operationCount(), 0u);
    ASSERT_TRUE(mainQueue_.runUntil([&] { return started_.size() == 1; }, kBound));
    EXPECT_EQ(operation->mainCalls(), 1);

    EXPECT_FALSE(queue.waitUntilAllOperationsAreFinished(10ms));
    operation->release();
    EXPECT_TRUE(queue.waitUntilAllOperationsAreFinished(kBound));
}

// Change observation, driven by hand on the test thread so the order of events is exact.
class RecordingOperation : public AsyncOperation {
  public:
    explicit RecordingOperation(std::vector<std::string>& log) : log_(log) {
        addObserver([this](AsyncOperation& self, Change change) {
            static const char* names[] = {"executing", "finished", "cancelled"};
            log_.push_back(std::string(names[static_cast<int>(change)]) + " e" +
                           std::to_string(self.isExecuting()) + " f" +
                           std::to_string(self.isFinished()) + " c" +
                           std::to_string(self.isCancelled()));
        });
        setCompletionCallback([this] { log_.push_back("completion"); });
    }

  protected:
    void main() override { log_.push_back("main"); }  // finishes later, when told
    void onCancel() override {
        log_.push_back("onCancel");
        finish();
    }

  private:
    std::vector<std::string>& log_;
};

struct ObservationCase {
    const char* name;
    std::vector<void (*)(AsyncOperation&)> steps;
    std::vector<std::string> expected;
};

void start(AsyncOperation& operation) {
    operation.start();
}
void finish(AsyncOperation& operation) {
    operation.finish();
}
void cancel(AsyncOperation& operation) {
    operation.cancel();
}

TEST(AsyncOperationTest, ObserversHearEveryChangeAndTheCompletionRunsOnce) {
    const std::vector<ObservationCase> cases = {
        {"runs and finishes",
         {start, finish},
         {"executing e1 f0 c0", "main", "completion", "executing e0 f1 c0", "finished e0 f1 c0"}},
        {"finishing twice counts once",
         {start, finish, finish},
         {"executing e1 f0 c0", "main", "completion", "executing e0 f1 c0", "finished e0 f1 c0"}},
        {"cancelled before it starts never runs",
         {cancel, start},
         {"cancelled e0 f0 c1", "completion", "finished e0 f1 c1"}},
        {"cancelled while running ends itself",
         {start, cancel},
         {"executing e1 f0 c0", "main", "cancelled e1 f0 c1", "onCancel", "completion",
          "executing e0 f1 c1", "finished e0 f1 c1"}},
        {"cancelling a finished operation changes nothing",
         {start, finish, cancel},
         {"executing e1 f0 c0", "main", "completion", "executing e0 f1 c0", "finished e0 f1 c0"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        std::vector<std::string> log;
        auto operation = std::make_shared<RecordingOperation>(log);
        for (auto step : testCase.steps) {
            step(*operation);
        }
        EXPECT_EQ(log, testCase.expected);
    }
}

TEST(AsyncOperationTest, AnObserverRemovedDuringDeliveryIsNotCalledAgain) {
    auto operation = std::make_shared<AsyncOperation>([](AsyncOperation&) {});
    std::vector<std::string> log;
    int second = 0;
    int first = operation->addObserver([&](AsyncOperation& self, AsyncOperation::Change) {
        log.push_back("first");
        self.removeObserver(first);
        self.removeObserver(second);
    });
    second = operation->addObserver(
        [&](AsyncOperation&, AsyncOperation::Change) { log.push_back("second"); });
    int third = operation->addObserver(
        [&](AsyncOperation&, AsyncOperation::Change) { log.push_back("third"); });
    operation->start();
    operation->finish();
    EXPECT_EQ(log, (std::vector<std::string>{"first", "third", "third", "third"}));
    operation->removeObserver(third);
}

}  // namespace
}  // namespace pagewell
