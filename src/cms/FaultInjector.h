#pragma once
// Faults the test hooks arm on a running server: the next N requests whose path begins with a
// prefix fail with a status, answer an empty body, stall for some seconds before answering, or
// lose their connection half-way through the body. Thread-safe: members take mutex_; stalls
// wait on a condition that stop() ends, so a stalled request never holds up shutdown.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pagewell::cms {

struct Fault {
    enum class Kind { Status, Empty, Stall, Drop };
    Kind kind = Kind::Status;
    std::string prefix;
    int remaining = 1;
    int status = 500;
    std::chrono::milliseconds stall{0};

    // "status", "empty", "stall", "drop"; none for anything else.
    static std::optional<Kind> kindNamed(const std::string& name);
};

class FaultInjector {
  public:
    void arm(Fault fault);
    void clear();
    // The fault that applies to this request, consumed by one; none when nothing is armed.
    std::optional<Fault> take(const std::string& path);
    // Waits `duration` unless stop() comes first.
    void stall(std::chrono::milliseconds duration);
    void stop();

  private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;      // guarded by mutex_
    std::vector<Fault> faults_;  // guarded by mutex_
};

}  // namespace pagewell::cms
