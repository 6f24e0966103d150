#pragma once
// Runs the built `pagewell` binary the way a user would, with its own data directory,
// and captures what it printed.

#include <filesystem>
#include <string>
#include <vector>

namespace pagewell {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `pagewell --data-dir DATA_DIR args...` (no data dir when `dataDirectory` is empty) with
// stdin closed and the extra environment entries ("NAME=value") added.
CliRun runPagewell(const std::filesystem::path& dataDirectory, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment = {});

}  // namespace pagewell
