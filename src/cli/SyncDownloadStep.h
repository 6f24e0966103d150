#pragma once
// The second half of `pagewell sync`: the synchronisation screen's "Download all" under a
// filter or title keyword, with its disk-space question, or the start of one category's row,
// with the live progress line on stderr; then what was downloaded and the exit code (see
// SyncCommand.h). Main thread only.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

#include "cli/SyncCommand.h"
#include "sync/SyncManager.h"

namespace pagewell::cli {

class SessionExpiryWatch;

class SyncDownloadStep {
  public:
    // Runs the downloads `options` ask for. `text` and `document` hold the refresh's result; the
    // files are added to both and printed. `interrupted` is the signal that asked the run to
    // stop (0: none), set by the caller's signal handler while this runs.
    static int run(const CommandContext& context, const SyncCommand::Options& options,
                   std::string text, nlohmann::json document,
                   const std::shared_ptr<int>& interrupted, const SessionExpiryWatch& session);

    // {"downloaded": [ids], "failed": [{"id", "error"}], "unhidden": [ids], "cancelled": [ids]}.
    static nlohmann::json downloadsDocument(const SyncManager::DownloadSummary& summary);
    // One line per kind with the files in ascending order; "No file needed a download." when
    // no file ended.
    static std::string downloadsText(const SyncManager::DownloadSummary& summary);

    static constexpr const char* kNoDownloadOffline =
        "offline / server unreachable — no file was downloaded";
};

}  // namespace pagewell::cli
