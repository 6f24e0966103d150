#pragma once
// Runs the built `pagewell` binary the way a user would, with its own data directory,
// and captures what it printed.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pagewell {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `pagewell --data-dir DATA_DIR args...` (no data dir when `dataDirectory` is empty) with
// the extra environment entries ("NAME=value") added and `input` on stdin (closed without it).
CliRun runPagewell(const std::filesystem::path& dataDirectory, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment = {},
                   const std::optional<std::string>& input = std::nullopt);

}  // namespace pagewell
