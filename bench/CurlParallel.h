#pragma once
// The peer the serving and the download benchmarks both measure against: one
// `curl --parallel --parallel-max 4` run fetching a list of addresses, each into a numbered file
// below a folder. The addresses go into a configuration file, as a list of hundreds would not fit
// a command line.
//
// Threading: the benchmark thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell::bench {

class CurlParallel {
  public:
    // Writes the configuration into `work` (created); the files land in `work`/into.
    static Result<CurlParallel> prepare(const std::filesystem::path& work,
                                        const std::vector<std::string>& urls);

    // One run of curl; false when it reported a failure.
    bool run() const;
    // The bytes the last run wrote, removed so that the next run starts from an empty folder.
    std::uintmax_t takeBytes() const;

  private:
    CurlParallel(std::filesystem::path into, std::string command)
        : into_(std::move(into)), command_(std::move(command)) {}

    std::filesystem::path into_;
    std::string command_;
};

}  // namespace pagewell::bench
