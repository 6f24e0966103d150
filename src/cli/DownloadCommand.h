#pragma once
// `pagewell download ID...`: the start action of the download view's file rows, for the files
// with those server identifiers. A file that is missing or outdated is queued with the sync
// manager (at most 4 transfers at once) and its progress shown on stderr; a file you removed
// whose copy is still on this device (another user keeps it) is only shown again; a file that
// is downloaded already is left alone.
//
// Needs somebody signed in (exit 4) and a content language; takes the data-directory lock
// (exit 6). Ctrl-C or SIGTERM cancels the queued downloads (nothing half-written stays) and
// exits 130. An unknown ID fails the command before anything is fetched.
//
// With --json: {"downloaded": [ids], "unhidden": [ids], "alreadyDownloaded": [ids], "failed":
// [{"id": int, "error": text}]}. These names are a contract with scripts.
// Exit codes: 0 every file is on the device, 1 unknown ID, 3 some files failed (named on
// stderr), 5 offline mode or the server cannot be reached, 130 interrupted.

#include <cstdint>
#include <vector>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class DownloadCommand {
  public:
    explicit DownloadCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context, const std::vector<std::int64_t>& fileIDs);

    static constexpr const char* kNothingDownloaded =
        "offline / server unreachable — nothing was downloaded";

  private:
    CommandContext& context_;
    std::vector<std::int64_t> fileIDs_;
};

}  // namespace pagewell::cli
