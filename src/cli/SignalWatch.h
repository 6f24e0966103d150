#pragma once
// Turns SIGINT and SIGTERM into a call on the main queue, so that a long command can stop its
// work cleanly (cancel downloads, keep the store consistent) instead of dying in the middle.
// While a watch lives, the signals no longer end the process; the handler decides. A second
// signal of the same kind while the first is being handled is reported again.
//
// Threading: create and destroy on the main thread; the handler runs on the main queue, so it
// runs only while the queue is being run.

#include <functional>
#include <memory>

namespace pagewell::cli {

class SignalWatch {
  public:
    // Called with SIGINT or SIGTERM.
    using Handler = std::function<void(int signalNumber)>;

    explicit SignalWatch(Handler handler);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The first signal that arrived, 0 when none has.
    int received() const;

    // The exit code a long-running mode ends with after `signalNumber`: 130 for SIGINT (the
    // shell's Ctrl-C convention), 0 for SIGTERM (an orderly stop that was asked for).
    static int exitCodeFor(int signalNumber);
    // The exit code of work that `signalNumber` cut short: 128 + the number, as a shell reports
    // it (130 for Ctrl-C, 143 for SIGTERM), so an unfinished sync never reads as a success.
    static int exitCodeForInterruptedWork(int signalNumber);

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace pagewell::cli
