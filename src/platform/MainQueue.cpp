#include "platform/MainQueue.h"

#include <asio.hpp>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/Logger.h"
#include "platform/TimerScheduler.h"

namespace pagewell {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::mutex gSharedQueueMutex;
std::shared_ptr<MainQueue>& sharedQueueSlot() {
    static std::shared_ptr<MainQueue> queue;
    return queue;
}

}  // namespace

struct MainQueue::Impl {
    asio::io_context context{1};
    // Keeps the loop waiting for posts when no handler is queued; without it a run would return
    // as soon as the queue is momentarily empty.
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning =
        asio::make_work_guard(context);
    std::atomic<std::thread::id> mainThread{std::this_thread::get_id()};
    std::atomic<bool> stopRequested{false};
    std::shared_ptr<TimerScheduler> timers;
};

MainQueue::MainQueue() : impl_(std::make_unique<Impl>()) {
    impl_->timers = std::make_shared<TimerScheduler>(*this);
}

MainQueue::~MainQueue() {
    // Timers hold waits on the loop; they must let go before the loop is destroyed.
    impl_->timers->shutdown();
}

void MainQueue::post(std::function<void()> handler) {
    asio::post(impl_->context, [handler = std::move(handler)] {
        // A handler that throws is a bug; logging it keeps the loop (and the app) alive.
        try {
            handler();
        } catch (const std::exception& exception) {
            PW_LOG_ERROR("Uncaught exception on the main queue: {}", exception.what());
        } catch (...) {
            PW_LOG_ERROR("Uncaught exception on the main queue");
        }
    });
}

bool MainQueue::isMainThread() const {
    return impl_->mainThread.load() == std::this_thread::get_id();
}

bool MainQueue::beginRun() {
    impl_->mainThread.store(std::this_thread::get_id());
    if (impl_->context.stopped()) {
        impl_->context.restart();
    }
    return !stopConsumed();
}

bool MainQueue::stopConsumed() {
    if (!impl_->stopRequested.exchange(false)) {
        return false;
    }
    impl_->context.restart();
    return true;
}

bool MainQueue::runUntil(const std::function<bool()>& predicate,
                         std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    if (!beginRun()) {
        return predicate();
    }
    while (true) {
        if (predicate()) {
            return true;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline || stopConsumed()) {
            return false;
        }
        impl_->context.run_one_for(deadline - now);
    }
}

std::size_t MainQueue::runFor(std::chrono::milliseconds duration) {
    const auto deadline = SteadyClock::now() + duration;
    std::size_t count = 0;
    if (!beginRun()) {
        return count;
    }
    while (!stopConsumed()) {
        const auto now = SteadyClock::now();
        if (now >= deadline) {
            break;
        }
        count += impl_->context.run_one_for(deadline - now);
    }
    return count;
}

std::size_t MainQueue::run() {
    std::size_t count = 0;
    if (!beginRun()) {
        return count;
    }
    while (!stopConsumed()) {
        count += impl_->context.run_one();
    }
    return count;
}

std::size_t MainQueue::poll() {
    if (!beginRun()) {
        return 0;
    }
    std::size_t count = 0;
    while (!stopConsumed()) {
        std::size_t ran = impl_->context.poll_one();
        if (ran == 0) {
            break;
        }
        count += ran;
    }
    return count;
}

void MainQueue::stop() {
    impl_->stopRequested.store(true);
    impl_->context.stop();
}

TimerScheduler& MainQueue::timers() {
    return *impl_->timers;
}

asio::io_context& MainQueue::context() {
    return impl_->context;
}

MainQueue& MainQueue::shared() {
    return *sharedPointer();
}

std::shared_ptr<MainQueue> MainQueue::sharedPointer() {
    std::lock_guard lock(gSharedQueueMutex);
    auto& slot = sharedQueueSlot();
    if (!slot) {
        slot = std::make_shared<MainQueue>();
    }
    return slot;
}

void MainQueue::setShared(std::shared_ptr<MainQueue> queue) {
    std::shared_ptr<MainQueue> previous;
    {
        std::lock_guard lock(gSharedQueueMutex);
        previous = std::exchange(sharedQueueSlot(),
                                 queue ? std::move(queue) : std::make_shared<MainQueue>());
    }
    // `previous` is released here, outside the lock: its handlers may reach for shared().
}

}  // namespace pagewell
