#pragma once
// `pagewell run`: the long-running mode, what the app does while it is open. Starts the app
// like every command, then keeps it up: the automatic synchronisation on its timer
// ("SYNC_SETTINGS" / "AUTO_SYNC", every "SYNC_INTERVAL" minutes), the watch on the server's
// reachability and the resend of read confirmations given offline (at start and whenever the
// server becomes reachable again). What it does is written to stderr as it happens.
//
//   pagewell run [--now]      --now synchronises once at start (catalogue, then every file
//                             that is missing or outdated), then follows the timer
//
// SIGTERM stops it cleanly (downloads cancelled, store consistent) with exit code 0; SIGINT
// (Ctrl-C) the same with 130. A server answer that would remove most of your files is never
// applied here (nobody is asked): it is skipped with a warning, the files stay until a
// `pagewell sync` on a terminal decides, and the stop ends with 3 instead of 0.
//
// The data directory is locked for the whole run: this process is then the only writer, so a
// `pagewell sync` or `pagewell download` started beside it waits for the lock and ends with
// exit code 6 instead of fetching the same files a second time. Stop the run to use them.
// A session that ends while it runs (the token could not be renewed) stops it as well.
// Exit codes: 0 stopped by SIGTERM, 1 failed start, 3 stopped after a removal was kept back,
// 4 nobody signed in or the session ended,
// 6 data directory busy, 130 interrupted.

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class RunCommand {
  public:
    struct Options {
        bool syncNow = false;
    };

    explicit RunCommand(CommandContext& context) : context_(context) {}

    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context, const Options& options);

    // Lines written to stderr (and to the log) at the turning points.
    static constexpr const char* kStarted = "Running; stop with Ctrl-C or SIGTERM.";
    static constexpr const char* kNextAutoSync = "Next automatic synchronisation at {}.";
    static constexpr const char* kSyncStarted = "Synchronisation started.";
    static constexpr const char* kSyncFinished =
        "Synchronisation finished: {} downloaded, {} failed, {} shown again.";
    static constexpr const char* kSyncFailed = "Synchronisation failed: {}";
    static constexpr const char* kRemovalHeldBack =
        "Warning: the server no longer lists most of your files; they were kept on this device "
        "until a `pagewell sync` on a terminal decides";
    static constexpr const char* kDownloading = "Downloading: {} files queued.";
    static constexpr const char* kStopping = "Stopping…";
    static constexpr const char* kStopped = "Stopped.";
    static constexpr const char* kSessionEnded =
        "The session has ended; sign in again with `pagewell login`.";

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli
