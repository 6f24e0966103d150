#pragma once
// The CPU time (user and system, every thread) this process spends over one stretch of a
// benchmark, from getrusage(RUSAGE_SELF), or that of the child processes it waited for in it
// (RUSAGE_CHILDREN: a peer tool run with std::system), or that of a server child process. The
// server runs in its own process and is waited for only at exit, so neither holds its work: this is
// the client's own work whatever the server spends, the figure that compares client against floor
// when the wall clock is mostly the server's.
//
// Threading: any thread.

#include <sys/types.h>

namespace pagewell::bench {

class ProcessCpu {
  public:
    enum class Of { ThisProcess, WaitedChildren, OtherProcess };

    explicit ProcessCpu(Of of = Of::ThisProcess) : of_(of) {}
    // A running child that is not waited for (a server), read from /proc/PID/stat.
    explicit ProcessCpu(pid_t other) : of_(Of::OtherProcess), other_(other) {}
    void start() { startMs_ = nowMs(); }
    double elapsedMs() const { return nowMs() - startMs_; }

  private:
    double nowMs() const;

    Of of_;
    pid_t other_ = -1;
    double startMs_ = 0;
};

}  // namespace pagewell::bench
