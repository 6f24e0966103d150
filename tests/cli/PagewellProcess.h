#pragma once
// A `pagewell` process that keeps running while the test goes on (`pagewell run`): started
// with its own data directory and stdin closed, its stderr read line by line as it comes, and
// stopped with a signal of the test's choice.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace pagewell {

class PagewellProcess {
  public:
    // Starts `pagewell --data-dir DATA_DIR args...` with the extra environment entries.
    PagewellProcess(const std::filesystem::path& dataDirectory,
                    const std::vector<std::string>& args,
                    const std::vector<std::string>& environment = {});
    // Kills a process that is still running.
    ~PagewellProcess();
    PagewellProcess(const PagewellProcess&) = delete;
    PagewellProcess& operator=(const PagewellProcess&) = delete;

    // Reads stderr until a line containing `text` arrives; false when the process closed
    // stderr or `timeout` passed first. Everything read is kept in err().
    bool waitForLine(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

    void signal(int signalNumber);
    // Waits for the end (reading the rest of stderr); the exit code, 128 + signal when killed.
    int wait();

    const std::string& err() const { return err_; }

  private:
    pid_t pid_ = -1;
    int errFd_ = -1;
    std::string err_;
    std::size_t scanned_ = 0;  // err_ up to here holds no wanted line
    int exitCode_ = -1;
};

}  // namespace pagewell
