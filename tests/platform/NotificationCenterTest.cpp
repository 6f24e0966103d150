#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace pagewell {
namespace {

using namespace std::chrono_literals;

struct Progress {
    std::int64_t fileID = 0;
    double fraction = 0;
};

TEST(NotificationCenterTest, DeliversToObserversOfTheNameAndOfAllNamesWithTheUserInfo) {
    NotificationCenter center;
    std::vector<std::string> log;
    std::optional<double> receivedFraction;
    center.addObserver("kFDOProgressNotification_42", [&](const Notification& notification) {
        log.push_back("progress");
        if (const auto* progress = notification.userInfoAs<Progress>()) {
            receivedFraction = progress->fraction;
        }
    });
    center.addObserver("FileDeletionEvent", [&](const Notification& notification) {
        log.push_back("deletion");
        EXPECT_EQ(notification.userInfoAs<Progress>(), nullptr);
        ASSERT_NE(notification.userInfoAs<std::int64_t>(), nullptr);
        EXPECT_EQ(*notification.userInfoAs<std::int64_t>(), 42);
    });
    center.addObserverForAllNames(
        [&](const Notification& notification) { log.push_back("all:" + notification.name); });

    center.post("kFDOProgressNotification_42", Progress{42, 0.25});
    center.post("FileDeletionEvent", std::int64_t{42});
    center.post("LanguageSwitchEvent");

    EXPECT_EQ(receivedFraction, 0.25);
    EXPECT_EQ(log,
              (std::vector<std::string>{"progress", "all:kFDOProgressNotification_42", "deletion",
                                        "all:FileDeletionEvent", "all:LanguageSwitchEvent"}));
}

TEST(NotificationCenterTest, DeliversSynchronouslyOnThePostingThread) {
    NotificationCenter center;
    std::thread::id observedOn;
    bool deliveredBeforePostReturned = false;
    bool delivered = false;
    center.addObserver("ThemeSwitchEvent", [&](const Notification&) {
        observedOn = std::this_thread::get_id();
        delivered = true;
    });
    std::thread::id postedOn;
    std::thread poster([&] {
        postedOn = std::this_thread::get_id();
        center.post("ThemeSwitchEvent");
        deliveredBeforePostReturned = delivered;
    });
    poster.join();
    EXPECT_TRUE(deliveredBeforePostReturned);
    EXPECT_EQ(observedOn, postedOn);
}

TEST(NotificationCenterTest, RemovedObserversAreNotCalled) {
    NotificationCenter center;
    int calls = 0;
    auto token = center.addObserver("FileDeletionEvent", [&](const Notification&) { ++calls; });
    auto everything = center.addObserverForAllNames([&](const Notification&) { ++calls; });
    center.post("FileDeletionEvent");
    EXPECT_EQ(calls, 2);
    center.removeObserver(token);
    center.removeObserver(everything);
    center.removeObserver(token);    // twice
    center.removeObserver(123'456);  // never issued
    center.post("FileDeletionEvent");
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenterTest, ObserversChangedDuringDeliveryTakeEffectAtOnceForRemovals) {
    NotificationCenter center;
    std::vector<std::string> log;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token first = 0;
    bool added = false;
    first = center.addObserver("FavoriteSyncCompletedEvent", [&](const Notification&) {
        log.push_back("first");
        center.removeObserver(second);
        center.removeObserver(first);  // itself: must not wait for its own call
        if (!added) {
            added = true;
            center.addObserver("FavoriteSyncCompletedEvent",
                               [&](const Notification&) { log.push_back("added"); });
        }
    });
    second = center.addObserver("FavoriteSyncCompletedEvent",
                                [&](const Notification&) { log.push_back("second"); });
    center.addObserver("FavoriteSyncCompletedEvent",
                       [&](const Notification&) { log.push_back("third"); });

    center.post("FavoriteSyncCompletedEvent");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "third"}));
    log.clear();
    center.post("FavoriteSyncCompletedEvent");
    EXPECT_EQ(log, (std::vector<std::string>{"third", "added"}));
}

TEST(NotificationCenterTest, AnObserverMayPostAgain) {
    NotificationCenter center;
    std::vector<std::string> log;
    center.addObserver("LanguageSwitchEvent", [&](const Notification&) {
        log.push_back("language");
        center.post("ThemeSwitchEvent");
    });
    center.addObserver("ThemeSwitchEvent", [&](const Notification&) { log.push_back("theme"); });
    center.post("LanguageSwitchEvent");
    EXPECT_EQ(log, (std::vector<std::string>{"language", "theme"}));
}

// Posters on several threads while the main thread keeps adding and removing an observer. When
// removeObserver returns, no call of that observer may still be running anywhere: this is what
// lets an owner free what its observer uses right after removing it.
TEST(NotificationCenterTest, RemovalWaitsForCallsOnOtherThreads) {
    NotificationCenter center;
    constexpr int kPosters = 4;
    constexpr int kPostsEach = 500;
    std::atomic<int> delivered{0};
    std::atomic<int> transientCallsUnderWay{0};
    std::atomic<int> lateCalls{0};
    center.addObserver("kFDOProgressNotification_7", [&](const Notification&) { ++delivered; });

    std::atomic<int> postersDone{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < kPosters; ++i) {
        posters.emplace_back([&] {
            for (int n = 0; n < kPostsEach; ++n) {
                center.post("kFDOProgressNotification_7", Progress{7, n / double(kPostsEach)});
            }
            ++postersDone;
        });
    }
    while (postersDone < kPosters) {
        auto removed = std::make_shared<std::atomic<bool>>(false);
        auto token = center.addObserverForAllNames([&, removed](const Notification&) {
            ++transientCallsUnderWay;
            if (*removed) {
                ++lateCalls;
            }
            --transientCallsUnderWay;
        });
        center.removeObserver(token);
        *removed = true;
        EXPECT_EQ(transientCallsUnderWay, 0);
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_EQ(delivered, kPosters * kPostsEach);
    EXPECT_EQ(lateCalls, 0);
}

// The observer is held inside its call while the main thread removes it. It then waits, bounded,
// for removeObserver to return: a centre that does not wait for calls under way lets it return
// at once and the observer sees it; a correct centre keeps it blocked until the bound passes.
TEST(NotificationCenterTest, RemoveObserverDoesNotReturnWhileACallIsUnderWayElsewhere) {
    NotificationCenter center;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;          // guarded by mutex
    bool removing = false;         // guarded by mutex
    bool removeReturned = false;   // guarded by mutex
    bool sawReturnInCall = false;  // written by the poster thread before it ends
    auto token = center.addObserver("FileDeletionEvent", [&](const Notification&) {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, 10s, [&] { return removing; });
        sawReturnInCall = changed.wait_for(lock, 50ms, [&] { return removeReturned; });
    });
    std::thread poster([&] { center.post("FileDeletionEvent"); });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return entered; }));
        removing = true;
        changed.notify_all();
    }
    center.removeObserver(token);
    {
        std::lock_guard lock(mutex);
        removeReturned = true;
        changed.notify_all();
    }
    poster.join();
    EXPECT_FALSE(sawReturnInCall);
}

TEST(NotificationCenterTest, SetSharedReplacesTheCentreAndNullInstallsAFreshOne) {
    auto mine = std::make_shared<NotificationCenter>();
    NotificationCenter::setShared(mine);
    EXPECT_EQ(&NotificationCenter::shared(), mine.get());
    NotificationCenter::setShared(nullptr);
    EXPECT_NE(&NotificationCenter::shared(), mine.get());
}

}  // namespace
}  // namespace pagewell
