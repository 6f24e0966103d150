#pragma once
// pagewell-cms as a child process for the benchmarks: it builds a catalogue with
// `build-demo`, then serves it on a loopback port the system chooses, with the test hooks on
// (the request log is read through them). The server runs in its own process so that its
// memory and threads stay out of the client's figures, as they would on a real machine.
// stop() (or the destructor) ends it with SIGTERM and waits for it.
//
// Threading: one thread owns an instance.

#include <sys/types.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell::bench {

class CmsProcess {
  public:
    static constexpr const char* kAppSecret = "bench-app-secret";

    // Runs `pagewell-cms build-demo DIRECTORY ARGUMENTS...` to its end.
    static Status buildCatalogue(const std::filesystem::path& directory,
                                 const std::vector<std::string>& arguments);

    // The catalogue `name` under the benchmarks' data directory, built with `arguments` on
    // first use and kept for later runs (a build of 20,000 files takes a while).
    static Result<std::filesystem::path> cachedCatalogue(const std::string& name,
                                                         const std::vector<std::string>& arguments);

    // Starts serving `catalogue`; returns once the server said where it listens.
    static Result<std::unique_ptr<CmsProcess>> serve(const std::filesystem::path& catalogue);

    // The server of the cached catalogue `name`, started on the first call and kept until the
    // process exits; none (with `state` skipped and told why) when it could not start.
    static CmsProcess* sharedServer(benchmark::State& state, const std::string& name,
                                    const std::vector<std::string>& arguments);

    ~CmsProcess();
    CmsProcess(const CmsProcess&) = delete;
    CmsProcess& operator=(const CmsProcess&) = delete;

    // "http://127.0.0.1:PORT".
    const std::string& baseUrl() const { return baseUrl_; }
    pid_t pid() const { return pid_; }

    // The targets (path and query, tokens redacted) of the requests logged since the last
    // clearRequests(), the test hooks' own requests left out.
    Result<std::vector<std::string>> requestTargets() const;
    Status clearRequests() const;

    void stop();

  private:
    CmsProcess(pid_t pid, std::string baseUrl) : pid_(pid), baseUrl_(std::move(baseUrl)) {}

    pid_t pid_ = -1;
    std::string baseUrl_;
};

}  // namespace pagewell::bench
