#pragma once
// The CPU time (user and system, every thread) this process spends over one stretch of a
// benchmark, from getrusage(RUSAGE_SELF), or that of the child processes it waited for in it
// (RUSAGE_CHILDREN: a peer tool run with std::system). The server runs in its own process and
// is waited for only at exit, so neither holds its work: this is the client's own work whatever
// the server spends, the figure that compares client against floor when the wall clock is
// mostly the server's.
//
// Threading: any thread.

namespace pagewell::bench {

class ProcessCpu {
  public:
    enum class Of { ThisProcess, WaitedChildren };

    explicit ProcessCpu(Of of = Of::ThisProcess) : of_(of) {}
    void start() { startMs_ = nowMs(); }
    double elapsedMs() const { return nowMs() - startMs_; }

  private:
    double nowMs() const;

    Of of_;
    double startMs_ = 0;
};

}  // namespace pagewell::bench
