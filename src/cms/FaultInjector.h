#pragma once
// Faults the test hooks arm on a running server: the next N requests whose path begins with a
// prefix fail with a status, answer an empty body, stall for some seconds before answering, or
// lose their connection half-way through the body, or wait until a test releases them (so a
// test can see how many requests a client keeps in flight at once), or stop half-way through
// the body until released (hang), or get an answer of the test's making (status, content type
// and body) in place of the real one, or get the real answer a few bytes a second (trickle),
// or get their real answer altered: nested (a key "nested" holding `depth` arrays, one inside
// the other), padded (a key "padding" holding a text of `bytes` bytes) or stripped (the `keys`
// removed from every entry of its "items" or "highlights"). Thread-safe: members take mutex_;
// stalls and holds wait on a condition that stop() ends, so neither holds up shutdown.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pagewell::cms {

struct Fault {
    enum class Kind { Status, Empty, Stall, Drop, Hold, Hang, Answer, Trickle, Nest, Pad, Strip };
    Kind kind = Kind::Status;
    std::string prefix;
    int remaining = 1;
    int status = 500;
    std::chrono::milliseconds stall{0};
    // Answer: what is sent with `status`.
    std::string contentType;
    std::string body;
    // Trickle: the pace of the real answer, in bytes a second.
    int bytesPerSecond = 10;
    int depth = 0;                  // Nest
    std::size_t bytes = 0;          // Pad
    std::vector<std::string> keys;  // Strip

    // "status", "empty", "stall", "drop", "hold", "hang", "answer", "trickle", "nest", "pad",
    // "strip"; none for anything else.
    static std::optional<Kind> kindNamed(const std::string& name);
    // Whether the fault changes the real answer's body (alter) rather than replacing it.
    bool altersAnswer() const;
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

    // The JSON object `body` as an altering fault leaves it; other bodies come back unchanged.
    // The nesting is written as text: a value that deep cannot be built and dumped here either.
    static std::string alter(const Fault& fault, std::string body);

    // A held request waits here until release() lets it go; clear() and stop() let every held
    // request go. Arming a hold fault starts a new count of the most held at once.
    void hold();
    void release(int count);
    struct HoldCount {
        int held = 0;     // waiting now
        int most = 0;     // the most that waited at once
        int arrived = 0;  // held since the hold fault was armed, released or not
    };
    HoldCount holdCount();
    // Waits until exactly `held` requests wait and `arrived` have come since the hold fault was
    // armed, or `timeout` passes, or stop() comes; the counts at that moment.
    HoldCount waitForHeld(int held, int arrived, std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;      // guarded by mutex_
    std::vector<Fault> faults_;  // guarded by mutex_
    int held_ = 0;               // guarded by mutex_
    int mostHeld_ = 0;           // guarded by mutex_
    int arrived_ = 0;            // guarded by mutex_
    int releases_ = 0;           // guarded by mutex_
    bool releaseAll_ = false;    // guarded by mutex_
};

}  // namespace pagewell::cms
