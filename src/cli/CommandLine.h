#pragma once
// The `pagewell` command line: global options, the commands, and the mapping of their outcome
// to exit codes. Everything the app does is in libpagewell; this layer parses, asks, prints.

#include <filesystem>
#include <optional>

namespace pagewell::cli {

struct GlobalOptions {
    std::optional<std::filesystem::path> dataDirectory;
    std::optional<std::filesystem::path> configPath;
    bool json = false;
    bool yes = false;
    bool no = false;
    bool nonInteractive = false;
    bool verbose = false;
};

class CommandLine {
  public:
    // Parses argv, runs the command and returns the process exit code.
    int run(int argc, char** argv);
};

}  // namespace pagewell::cli
