#pragma once
// Watches whether one host can be reached, and reports changes on the main queue.
//
// A literal IPv4 address is watched by address, anything else by name. Each probe resolves the
// host (for a name) and opens a TCP connection to the port with a short timeout; the connection
// is closed at once. Probes run on the watcher's own thread, never on the main queue; they are
// started by a repeating Timer, so they follow Clock::shared() and tests drive them with a
// ManualClock. A probe that is still running when the next one is due lets that one pass.
//
// Status: on Linux every working connection counts as unmetered (ReachableViaWiFi);
// ReachableViaWWAN is never reported. The first probe's outcome is reported as a change too.
//
// Threading rule: create, start, stop and destroy the watcher on the main thread; the handler
// runs on the main thread. mutex_ in Impl guards what the probe thread shares with it.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pagewell {

class MainQueue;

enum class NetworkStatus { NotReachable, ReachableViaWiFi, ReachableViaWWAN };

// "NotReachable", "ReachableViaWiFi", "ReachableViaWWAN".
const char* networkStatusName(NetworkStatus status);

struct ReachabilityOptions {
    std::chrono::milliseconds interval{std::chrono::seconds{10}};  // between probes
    std::chrono::milliseconds connectTimeout{std::chrono::seconds{3}};
};

class ReachabilityWatcher {
  public:
    using StatusHandler = std::function<void(NetworkStatus status)>;
    using Options = ReachabilityOptions;

    // Watches `host` on `port`. Probes only start with startNotifier().
    ReachabilityWatcher(std::string host, int port, Options options = {},
                        std::shared_ptr<MainQueue> mainQueue = nullptr);
    // Watches the host and port of an http or https address; none when it has no host.
    static std::unique_ptr<ReachabilityWatcher> forURL(std::string_view url, Options options = {},
                                                       std::shared_ptr<MainQueue> mainQueue = {});
    ~ReachabilityWatcher();
    ReachabilityWatcher(const ReachabilityWatcher&) = delete;
    ReachabilityWatcher& operator=(const ReachabilityWatcher&) = delete;

    const std::string& host() const;
    int port() const;
    // True for a literal IPv4 address, which is probed without a name lookup.
    bool watchesByAddress() const;

    // Called on the main queue whenever the status changes.
    void setStatusHandler(StatusHandler handler);

    // Probes now and then every interval. Returns false when already started.
    bool startNotifier();
    // Stops probing; a probe under way is not reported.
    void stopNotifier();
    bool isNotifying() const;

    // Runs one probe now (reported like the periodic ones).
    void probeNow();

    // The last reported status; none before the first probe has finished.
    std::optional<NetworkStatus> currentStatus() const;
    bool isReachable() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace pagewell
