// The reachability watcher against a loopback port that starts refusing and then listens,
// driven by a manual clock.
#include "platform/ReachabilityWatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "RefusingPort.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;

class ReachabilityWatcherTest : public ::testing::Test {
  protected:
    void SetUp() override { Clock::setShared(clock_); }
    void TearDown() override { Clock::setShared(nullptr); }

    std::unique_ptr<ReachabilityWatcher> watch(const std::string& host, int port) {
        ReachabilityOptions options;
        options.interval = 10s;
        options.connectTimeout = 2s;
        auto watcher = std::make_unique<ReachabilityWatcher>(host, port, options, queue_);
        watcher->setStatusHandler([this](NetworkStatus status) { reported_.push_back(status); });
        return watcher;
    }

    std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
    std::shared_ptr<MainQueue> queue_ = std::make_shared<MainQueue>();
    std::vector<NetworkStatus> reported_;
};

TEST_F(ReachabilityWatcherTest, ReportsTheHostBecomingReachable) {
    test::RefusingPort port;
    auto watcher = watch("127.0.0.1", port.port());
    EXPECT_TRUE(watcher->watchesByAddress());
    EXPECT_FALSE(watcher->currentStatus().has_value());

    ASSERT_TRUE(watcher->startNotifier());
    EXPECT_FALSE(watcher->startNotifier());
    ASSERT_TRUE(queue_->runUntil([&] { return !reported_.empty(); }, 10s));
    EXPECT_EQ(reported_, std::vector<NetworkStatus>{NetworkStatus::NotReachable});
    EXPECT_FALSE(watcher->isReachable());

    // Nothing changes between probes: the next probe only comes with the clock.
    port.listen();
    queue_->runFor(50ms);
    EXPECT_EQ(reported_.size(), 1u);

    clock_->advance(10s);
    ASSERT_TRUE(queue_->runUntil([&] { return reported_.size() == 2; }, 10s));
    EXPECT_EQ(reported_.back(), NetworkStatus::ReachableViaWiFi);
    EXPECT_TRUE(watcher->isReachable());

    // An unchanged status is not reported again.
    clock_->advance(10s);
    watcher->probeNow();
    queue_->runFor(100ms);
    EXPECT_EQ(reported_.size(), 2u);
}

TEST_F(ReachabilityWatcherTest, StoppedWatcherProbesNoMore) {
    test::RefusingPort port;
    auto watcher = watch("localhost", port.port());
    EXPECT_FALSE(watcher->watchesByAddress());
    watcher->startNotifier();
    ASSERT_TRUE(queue_->runUntil([&] { return !reported_.empty(); }, 10s));
    watcher->stopNotifier();
    EXPECT_FALSE(watcher->isNotifying());

    port.listen();
    clock_->advance(30s);
    queue_->runFor(100ms);
    EXPECT_EQ(reported_, std::vector<NetworkStatus>{NetworkStatus::NotReachable});
}

TEST_F(ReachabilityWatcherTest, UnresolvableNameIsNotReachable) {
    auto watcher = watch("no-such-host.invalid", 80);
    watcher->probeNow();
    ASSERT_TRUE(queue_->runUntil([&] { return !reported_.empty(); }, 10s));
    EXPECT_EQ(reported_.front(), NetworkStatus::NotReachable);
}

TEST_F(ReachabilityWatcherTest, WatchesTheHostAndPortOfAnAddress) {
    struct Case {
        const char* url;
        const char* host;
        int port;
        bool byAddress;
    };
    const Case cases[] = {
        {"https://cms.example.com/api2", "cms.example.com", 443, false},
        {"http://10.1.2.3:8080", "10.1.2.3", 8080, true},
        {"http://localhost", "localhost", 80, false},
    };
    for (const auto& c : cases) {
        auto watcher = ReachabilityWatcher::forURL(c.url, {}, queue_);
        ASSERT_TRUE(watcher) << c.url;
        EXPECT_EQ(watcher->host(), c.host);
        EXPECT_EQ(watcher->port(), c.port);
        EXPECT_EQ(watcher->watchesByAddress(), c.byAddress);
    }
    EXPECT_EQ(ReachabilityWatcher::forURL("not an address", {}, queue_), nullptr);
}

}  // namespace
}  // namespace pagewell
