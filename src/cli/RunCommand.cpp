#include "cli/RunCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/SignalWatch.h"
#include "cli/StatusCommand.h"
#include "cli/TerminalText.h"
#include "net/InterfaceManager.h"
#include "platform/Clock.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "sync/MassRemovalGuard.h"
#include "sync/SyncManager.h"

namespace pagewell::cli {

namespace {

// How long a stop waits for cancelled downloads and a running import to report back before
// the process ends anyway.
constexpr std::chrono::seconds kWindDown{30};

// What the run shares with its callbacks; they may arrive after a wait gave up.
struct RunState {
    bool stopRequested = false;
    int signalNumber = 0;
    bool sessionExpired = false;
    bool syncNowRunning = false;
    SyncManager::Activity lastActivity;
    // The guard's count of held-back removals when the run started and when it last said so.
    std::size_t heldBackAtStart = 0;
    std::size_t heldBackReported = 0;
};

// Into the log and onto stderr; with --verbose the log's own echo already shows it there.
void say(const CommandContext& context, const std::string& line) {
    PW_LOG_INFO("{}", line);
    if (!context.options.verbose) {
        context.output.note(line);
    }
}

void sayNextAutoSync(const CommandContext& context) {
    if (auto next = SyncManager::sharedInstance().nextAutoSyncDate()) {
        say(context, fmt::format(RunCommand::kNextAutoSync, StatusCommand::iso8601(*next)));
    }
}

// The turning points of the manager's downloads and automatic synchronisations, as lines.
void reportActivity(const CommandContext& context, RunState& state,
                    const SyncManager::Activity& activity) {
    const SyncManager::Activity before = state.lastActivity;
    state.lastActivity = activity;
    if (activity.autoSyncActive && !before.autoSyncActive) {
        say(context, "Automatic synchronisation started.");
    }
    if (activity.operationCount > 0 && before.operationCount == 0) {
        say(context, fmt::format(RunCommand::kDownloading, activity.operationCount));
    }
    if (activity.operationCount == 0 && before.operationCount > 0) {
        say(context, "Downloads done.");
    }
    if (!activity.autoSyncActive && before.autoSyncActive && !state.stopRequested) {
        const std::size_t heldBack = MassRemovalGuard::shared()->heldBackCount();
        if (heldBack > state.heldBackReported) {
            state.heldBackReported = heldBack;
            say(context, RunCommand::kRemovalHeldBack);
        }
        say(context, "Automatic synchronisation ended.");
        sayNextAutoSync(context);
    }
}

// --now: the catalogue, then every file that is missing or outdated; then the timer.
void synchroniseNow(const CommandContext& context, const std::shared_ptr<RunState>& state) {
    SyncManager& sync = SyncManager::sharedInstance();
    state->syncNowRunning = true;
    say(context, RunCommand::kSyncStarted);
    auto ended = [&context, state] {
        state->syncNowRunning = false;
        if (!state->stopRequested) {
            SyncManager::sharedInstance().startAutoSync();
            sayNextAutoSync(context);
        }
    };
    auto downloadAll = [&context, state, ended] {
        if (state->stopRequested) {
            ended();
            return;
        }
        SyncManager::sharedInstance().downloadAllFilesWithFilter(
            CategoryFilterType::All,
            [&context, ended](const SyncManager::DownloadResult& result) {
                const auto& summary = result.summary;
                say(context, fmt::format(RunCommand::kSyncFinished, summary.downloaded.size(),
                                         summary.failed.size(), summary.unhidden.size()));
                for (const auto& [fileID, error] : summary.failed) {
                    say(context, fmt::format("  file {}: {}", fileID,
                                             TerminalText::escape(error.description)));
                }
                if (result.error) {
                    say(context, fmt::format(RunCommand::kSyncFailed,
                                             TerminalText::escape(result.error->description)));
                }
                ended();
            },
            {});
    };
    sync.getDataForSync(
        downloadAll, {},
        [&context, state, ended, downloadAll](const Error& error) {
            if (MassRemovalGuard::isHeldBack(error)) {
                // Nobody answers questions here: the files stay, the rest was imported.
                state->heldBackReported = MassRemovalGuard::shared()->heldBackCount();
                say(context, fmt::format("{} ({})", RunCommand::kRemovalHeldBack,
                                         TerminalText::escape(error.description)));
                downloadAll();
                return;
            }
            say(context,
                fmt::format(RunCommand::kSyncFailed, TerminalText::escape(error.description)));
            ended();
        },
        SyncManager::MassRemoval::Skip);
}

}  // namespace

void RunCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command = parent.add_subcommand(
        "run", "Stay up: automatic synchronisation, reachability watch, read confirmations");
    command->add_flag("--now", options_.syncNow,
                      "Synchronise once at start, then follow the automatic timer");
    command->callback([this, &exitCode] { exitCode = run(context_, options_); });
}

int RunCommand::run(const CommandContext& context, const Options& options) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    MainQueue& queue = MainQueue::shared();
    SyncManager& sync = SyncManager::sharedInstance();
    auto state = std::make_shared<RunState>();
    state->lastActivity = sync.activity();
    state->heldBackAtStart = MassRemovalGuard::shared()->heldBackCount();
    state->heldBackReported = state->heldBackAtStart;

    SignalWatch signals([&context, state](int signalNumber) {
        if (state->stopRequested) {
            return;
        }
        state->stopRequested = true;
        state->signalNumber = signalNumber;
        say(context, kStopping);
        SyncManager::sharedInstance().stop();
    });
    // A failed token renewal ends the session: every later synchronisation would fail too.
    NotificationCenter::Token expiry = NotificationCenter::shared().addObserver(
        InterfaceManager::kSessionExpiredNotification, [&context, state](const Notification&) {
            MainQueue::shared().post([&context, state] {
                if (state->stopRequested) {
                    return;
                }
                state->stopRequested = true;
                state->sessionExpired = true;
                say(context, kSessionEnded);
                SyncManager::sharedInstance().stop();
            });
        });
    int observer =
        sync.addActivityObserver([&context, state](const SyncManager::Activity& activity) {
            reportActivity(context, *state, activity);
        });

    say(context, kStarted);
    InterfaceManager::sharedInstance().setupReachabilityNotifications();
    sync.sendReadConfirmationForUnsyncedFiles();
    if (options.syncNow) {
        synchroniseNow(context, state);
    } else {
        sync.startAutoSync();
        sayNextAutoSync(context);
    }

    while (!state->stopRequested) {
        queue.runUntil([state] { return state->stopRequested; }, std::chrono::hours(1));
    }
    // Let cancelled downloads and a running import report, so the store is left as they
    // leave it, but never wait for ever.
    const auto deadline = std::chrono::steady_clock::now() + kWindDown;
    auto idle = [state, &sync] {
        return !state->syncNowRunning && sync.activity().operationCount == 0;
    };
    while (!idle() && std::chrono::steady_clock::now() < deadline) {
        queue.runUntil(idle, std::chrono::milliseconds(200));
    }
    sync.removeActivityObserver(observer);
    NotificationCenter::shared().removeObserver(expiry);
    say(context, kStopped);
    if (state->sessionExpired) {
        return kExitSignInNeeded;
    }
    const int stopped = SignalWatch::exitCodeFor(state->signalNumber);
    if (stopped == kExitSuccess &&
        MassRemovalGuard::shared()->heldBackCount() > state->heldBackAtStart) {
        return kExitPartialFailure;
    }
    return stopped;
}

}  // namespace pagewell::cli
