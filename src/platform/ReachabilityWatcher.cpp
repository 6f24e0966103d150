#include "platform/ReachabilityWatcher.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/HttpSession.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/Timer.h"

namespace pagewell {

const char* networkStatusName(NetworkStatus status) {
    switch (status) {
        case NetworkStatus::NotReachable:
            return "NotReachable";
        case NetworkStatus::ReachableViaWiFi:
            return "ReachableViaWiFi";
        case NetworkStatus::ReachableViaWWAN:
            return "ReachableViaWWAN";
    }
    return "NotReachable";
}

namespace {

bool isIPv4Literal(const std::string& host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

// Whether a TCP connection to one address opens within `timeout`.
bool connects(const addrinfo& address, std::chrono::milliseconds timeout) {
    int descriptor = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                              address.ai_protocol);
    if (descriptor < 0) {
        return false;
    }
    bool open = false;
    if (::connect(descriptor, address.ai_addr, address.ai_addrlen) == 0) {
        open = true;
    } else if (errno == EINPROGRESS) {
        pollfd watched{descriptor, POLLOUT, 0};
        if (::poll(&watched, 1, static_cast<int>(timeout.count())) == 1) {
            int failure = 0;
            socklen_t length = sizeof(failure);
            open = ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &failure, &length) == 0 &&
                   failure == 0;
        }
    }
    ::close(descriptor);
    return open;
}

// One probe: resolve (unless the host is a literal address) and try each address in turn.
NetworkStatus probeHost(const std::string& host, int port, bool byAddress,
                        std::chrono::milliseconds timeout) {
    addrinfo hints{};
    hints.ai_family = byAddress ? AF_INET : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (byAddress ? AI_NUMERICHOST : 0);
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0) {
        return NetworkStatus::NotReachable;
    }
    bool reachable = false;
    for (addrinfo* address = addresses; address != nullptr && !reachable;
         address = address->ai_next) {
        reachable = connects(*address, timeout);
    }
    ::freeaddrinfo(addresses);
    // Linux cannot tell a metered link from another; every connection counts as unmetered.
    return reachable ? NetworkStatus::ReachableViaWiFi : NetworkStatus::NotReachable;
}

}  // namespace

// The probe thread waits for requests and posts each outcome to the main queue. mutex guards
// the request flags shared with it; everything else is touched on the main thread only.
struct ReachabilityWatcher::Impl : std::enable_shared_from_this<ReachabilityWatcher::Impl> {
    std::string host;
    int port = 0;
    bool byAddress = false;
    Options options;
    std::shared_ptr<MainQueue> mainQueue;

    // Main thread only.
    StatusHandler handler;
    std::optional<NetworkStatus> status;
    Timer timer;
    bool notifying = false;
    // Bumped by stopNotifier, so a probe started before it is not reported after it.
    std::shared_ptr<std::atomic<std::uint64_t>> generation =
        std::make_shared<std::atomic<std::uint64_t>>(0);
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);

    std::thread prober;
    std::mutex mutex;
    std::condition_variable wakeProber;
    bool probeRequested = false;  // guarded by mutex
    bool probing = false;         // guarded by mutex
    bool stopping = false;        // guarded by mutex

    void requestProbe();
    void proberLoop();
    void report(NetworkStatus newStatus);
};

void ReachabilityWatcher::Impl::requestProbe() {
    {
        std::lock_guard lock(mutex);
        if (probing || probeRequested) {
            return;
        }
        probeRequested = true;
        if (!prober.joinable()) {
            prober = std::thread([this] { proberLoop(); });
        }
    }
    wakeProber.notify_one();
}

void ReachabilityWatcher::Impl::proberLoop() {
    std::unique_lock lock(mutex);
    for (;;) {
        wakeProber.wait(lock, [this] { return stopping || probeRequested; });
        if (stopping) {
            return;
        }
        probeRequested = false;
        probing = true;
        const std::uint64_t probeGeneration = generation->load();
        lock.unlock();
        NetworkStatus outcome = probeHost(host, port, byAddress, options.connectTimeout);
        mainQueue->post([weak = weak_from_this(), alive = alive, generation = generation,
                         probeGeneration, outcome] {
            if (!alive->load() || generation->load() != probeGeneration) {
                return;
            }
            if (auto impl = weak.lock()) {
                impl->report(outcome);
            }
        });
        lock.lock();
        probing = false;
    }
}

void ReachabilityWatcher::Impl::report(NetworkStatus newStatus) {
    if (status == newStatus) {
        return;
    }
    status = newStatus;
    PW_LOG_DEBUG("Reachability of {}:{} is now {}", host, port, networkStatusName(newStatus));
    if (handler) {
        handler(newStatus);
    }
}

ReachabilityWatcher::ReachabilityWatcher(std::string host, int port, Options options,
                                         std::shared_ptr<MainQueue> mainQueue)
    : impl_(std::make_shared<Impl>()) {
    impl_->byAddress = isIPv4Literal(host);
    impl_->host = std::move(host);
    impl_->port = port;
    impl_->options = options;
    impl_->mainQueue = mainQueue ? std::move(mainQueue) : MainQueue::sharedPointer();
}

std::unique_ptr<ReachabilityWatcher> ReachabilityWatcher::forURL(
    std::string_view url, Options options, std::shared_ptr<MainQueue> mainQueue) {
    auto origin = HttpSession::originOf(url);
    if (!origin || origin->host.empty()) {
        return nullptr;
    }
    return std::make_unique<ReachabilityWatcher>(origin->host, origin->port, options,
                                                 std::move(mainQueue));
}

ReachabilityWatcher::~ReachabilityWatcher() {
    impl_->alive->store(false);
    impl_->timer.invalidate();
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wakeProber.notify_one();
    if (impl_->prober.joinable()) {
        impl_->prober.join();
    }
}

const std::string& ReachabilityWatcher::host() const {
    return impl_->host;
}
int ReachabilityWatcher::port() const {
    return impl_->port;
}
bool ReachabilityWatcher::watchesByAddress() const {
    return impl_->byAddress;
}

void ReachabilityWatcher::setStatusHandler(StatusHandler handler) {
    impl_->handler = std::move(handler);
}

bool ReachabilityWatcher::startNotifier() {
    if (impl_->notifying) {
        return false;
    }
    impl_->notifying = true;
    impl_->timer = Timer::scheduledTimer(*impl_->mainQueue, impl_->options.interval, true,
                                         [weak = std::weak_ptr<Impl>(impl_)] {
                                             if (auto impl = weak.lock()) {
                                                 impl->requestProbe();
                                             }
                                         });
    impl_->requestProbe();
    return true;
}

void ReachabilityWatcher::stopNotifier() {
    if (!impl_->notifying) {
        return;
    }
    impl_->notifying = false;
    impl_->timer.invalidate();
    impl_->generation->fetch_add(1);
}

bool ReachabilityWatcher::isNotifying() const {
    return impl_->notifying;
}

void ReachabilityWatcher::probeNow() {
    impl_->requestProbe();
}

std::optional<NetworkStatus> ReachabilityWatcher::currentStatus() const {
    return impl_->status;
}

bool ReachabilityWatcher::isReachable() const {
    return impl_->status.has_value() && *impl_->status != NetworkStatus::NotReachable;
}

}  // namespace pagewell
