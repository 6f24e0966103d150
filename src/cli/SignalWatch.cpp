#include "cli/SignalWatch.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <csignal>

#include "cli/ExitCode.h"
#include "platform/MainQueue.h"

namespace pagewell::cli {

struct SignalWatch::Impl {
    explicit Impl(asio::io_context& context) : signals(context, SIGINT, SIGTERM) {}

    // The wait keeps the state alive; a watch that is gone is told by `closed`.
    static void waitForNext(const std::shared_ptr<Impl>& impl) {
        impl->signals.async_wait([impl](const asio::error_code& error, int signalNumber) {
            if (error || impl->closed) {
                return;
            }
            if (impl->received == 0) {
                impl->received = signalNumber;
            }
            if (impl->handler) {
                impl->handler(signalNumber);
            }
            if (!impl->closed) {
                waitForNext(impl);
            }
        });
    }

    asio::signal_set signals;
    Handler handler;
    int received = 0;
    bool closed = false;
};

SignalWatch::SignalWatch(Handler handler)
    : impl_(std::make_shared<Impl>(MainQueue::shared().context())) {
    impl_->handler = std::move(handler);
    Impl::waitForNext(impl_);
}

SignalWatch::~SignalWatch() {
    impl_->closed = true;
    asio::error_code ignored;
    impl_->signals.cancel(ignored);
    impl_->signals.clear(ignored);
}

int SignalWatch::received() const {
    return impl_->received;
}

int SignalWatch::exitCodeFor(int signalNumber) {
    return signalNumber == SIGTERM ? kExitSuccess : kExitInterrupted;
}

int SignalWatch::exitCodeForInterruptedWork(int signalNumber) {
    return signalNumber == SIGINT ? kExitInterrupted : 128 + signalNumber;
}

}  // namespace pagewell::cli
