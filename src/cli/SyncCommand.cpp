#include "cli/SyncCommand.h"

#include <unistd.h>

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/IdList.h"
#include "cli/SessionExpiryWatch.h"
#include "cli/SignalWatch.h"
#include "cli/SyncDownloadStep.h"
#include "cli/SyncReport.h"
#include "cli/TerminalProgress.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "platform/MainQueue.h"
#include "store/CurrentSelection.h"
#include "store/PersistentStore.h"
#include "sync/CatalogueChanges.h"
#include "sync/CatalogueSnapshot.h"
#include "sync/MassRemovalGuard.h"
#include "sync/SyncManager.h"

namespace pagewell::cli {

namespace {

constexpr const char* kStopping = "Stopping… (press Ctrl-C again to quit at once)";

// The import reports k / n after its k-th category: the first report is 1 / n, which gives n,
// so the bar can show counts rather than a bare fraction.
class CategoryCounter {
  public:
    void report(double fraction) {
        if (fraction <= 0.0) {
            return;
        }
        if (total_ == 0) {
            total_ = std::max(1L, std::lround(1.0 / fraction));
        }
        done_ = std::min(total_, std::lround(fraction * static_cast<double>(total_)));
    }
    long done() const { return done_; }
    long total() const { return total_; }

  private:
    long done_ = 0;
    long total_ = 0;
};

struct ImportOutcome {
    bool finished = false;
    std::optional<Error> error;
    long categoriesDone = 0;
    long categoriesTotal = 0;
};

// The synchronisation screen's refresh: the catalogue import and its clean-up, with the
// progress bar.
ImportOutcome importCatalogue() {
    struct State {
        bool done = false;
        std::optional<Error> error;
        CategoryCounter counter;
    };
    auto state = std::make_shared<State>();
    auto progress = std::make_shared<TerminalProgress>("categories");
    SyncManager::sharedInstance().getDataForSync([state] { state->done = true; },
                                                 [state, progress](double fraction) {
                                                     state->counter.report(fraction);
                                                     progress->update(state->counter.done(),
                                                                      state->counter.total());
                                                 },
                                                 [state](const Error& error) {
                                                     state->error = error;
                                                     state->done = true;
                                                 });
    bool ended =
        MainQueue::shared().runUntil([state] { return state->done; }, SyncReport::kStepWait);
    progress->finish();
    ImportOutcome outcome;
    outcome.finished = ended;
    outcome.error = state->error;
    outcome.categoriesDone = state->counter.done();
    outcome.categoriesTotal = state->counter.total();
    return outcome;
}

std::string countsText(const CatalogueChanges& changes) {
    auto counts = [](const CatalogueChanges::Lists& lists) {
        return fmt::format("{} added, {} changed, {} removed", lists.added.size(),
                           lists.changed.size(), lists.removed.size());
    };
    return fmt::format("categories: {}; files: {}", counts(changes.categories),
                       counts(changes.files));
}

// What a run that failed says: a catalogue left as it was is "nothing was synchronised"; one
// the import had already changed says what it changed, because those changes stay.
std::string failureMessage(bool unreachable, const std::optional<Error>& error,
                           const CatalogueChanges& changes) {
    if (changes.empty()) {
        if (unreachable) {
            return SyncCommand::kNothingSynchronised;
        }
        return "the catalogue could not be synchronised: " +
               (error ? error->description : std::string("the import did not finish"));
    }
    std::string cause =
        unreachable ? std::string(SyncCommand::kOfflinePrefix)
                    : "the catalogue could not be synchronised completely: " +
                          (error ? error->description : std::string("the import did not finish"));
    return cause + "; " + SyncCommand::kImportedBeforeFailure + countsText(changes);
}

}  // namespace

void SyncCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* sync = parent.add_subcommand(
        "sync", "Synchronise the catalogue of your content language and download its files");
    sync->add_flag("--no-download", options_.noDownload,
                   "Only bring the catalogue up to date; download no files");
    sync->add_option("--filter", options_.filter, "Which files to download")
        ->check(CLI::IsMember({"all", "downloaded", "not-downloaded", "error", "update"}))
        ->default_str("all");
    sync->add_option("--keyword", options_.keyword,
                     "Download the files whose title contains TEXT (in place of --filter)")
        ->type_name("TEXT");
    sync->add_option("--category", options_.category,
                     "Download only this category (its id) with its subcategories")
        ->type_name("ID");
    sync->callback([this, &exitCode] { exitCode = run(context_, options_); });
}

nlohmann::json SyncCommand::changesDocument(const CatalogueChanges& changes) {
    auto document = [](const CatalogueChanges::Lists& lists) {
        return nlohmann::json{
            {"added", lists.added}, {"changed", lists.changed}, {"removed", lists.removed}};
    };
    return {{"categories", document(changes.categories)}, {"files", document(changes.files)}};
}

std::string SyncCommand::changesText(const CatalogueChanges& changes) {
    if (changes.empty()) {
        return std::string(kNoChanges) + "\n";
    }
    std::string text;
    auto block = [&text](const char* what, const CatalogueChanges::Lists& lists) {
        text += fmt::format("{:<12}{} added, {} changed, {} removed\n", std::string(what) + ":",
                            lists.added.size(), lists.changed.size(), lists.removed.size());
        const std::pair<const char*, const std::vector<std::int64_t>*> named[] = {
            {"added", &lists.added}, {"changed", &lists.changed}, {"removed", &lists.removed}};
        for (const auto& [name, ids] : named) {
            if (!ids->empty()) {
                text += fmt::format("  {:<10}{}\n", std::string(name) + ":", IdList::text(*ids));
            }
        }
    };
    block("Categories", changes.categories);
    block("Files", changes.files);
    return text;
}

int SyncCommand::run(const CommandContext& context, const Options& options) {
    // The lock lives in the data directory the options chose.
    context.application->configure();
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    nlohmann::json document = {{"imported", false}};
    if (InterfaceManager::sharedInstance().isInOfflineMode()) {
        return SyncReport::fail(context, kExitOffline, kNothingSynchronised,
                                InterfaceManager::unreachableError(), document);
    }
    if (!LoginManager::shared().isLoggedIn()) {
        return SyncReport::fail(context, kExitSignInNeeded,
                                "the session has ended; run `pagewell login` again", std::nullopt,
                                document);
    }

    // Ctrl-C stops the downloads (the queue is cancelled, finished files stay) and the run
    // ends once the manager has reported; a second one ends the process at once.
    auto interrupted = std::make_shared<int>(0);
    SignalWatch signals([interrupted, &context](int signalNumber) {
        if (*interrupted != 0) {
            std::_Exit(SignalWatch::exitCodeForInterruptedWork(*interrupted));
        }
        *interrupted = signalNumber;
        // Below the progress line, when one is drawn.
        context.output.note(::isatty(STDERR_FILENO) != 0 ? std::string("\n") + kStopping
                                                         : std::string(kStopping));
        SyncManager::sharedInstance().stop();
    });

    StoreContext& main = PersistentStore::shared()->mainContext();
    const std::int64_t userKey = *CurrentSelection::userKey();
    const std::int64_t localeKey = *CurrentSelection::localeKey();
    auto before = CatalogueSnapshot::take(main, userKey, localeKey);
    if (!before.ok()) {
        return SyncReport::fail(context, kExitFailure, before.error().description, before.error(),
                                document);
    }

    SessionExpiryWatch session;
    ImportOutcome imported = importCatalogue();
    // An answer that would remove most of the user's files and was not confirmed (declined,
    // or nobody at a terminal to ask): the rest of the catalogue is imported, those files stay,
    // and the run ends with 3 so that a script notices and the next sync asks again.
    std::optional<Error> heldBack;
    if (imported.error && MassRemovalGuard::isHeldBack(*imported.error)) {
        heldBack = std::move(imported.error);
        imported.error.reset();
        document["removalHeldBack"] = heldBack->description;
    }
    auto after = CatalogueSnapshot::take(main, userKey, localeKey);
    CatalogueChanges changes;
    if (after.ok()) {
        changes = after.value().changesSince(before.value());
        document.update(changesDocument(changes));
    }
    if (session.expired() || (imported.error && SyncReport::isSessionExpired(*imported.error))) {
        return SyncReport::fail(context, kExitSignInNeeded,
                                "the session has expired; run `pagewell login` again",
                                imported.error, document);
    }
    if (!imported.finished || imported.error) {
        const bool unreachable = !imported.finished || SyncReport::isUnreachable(*imported.error);
        if (!changes.empty() && !context.output.json()) {
            context.output.text(changesText(changes));
        }
        return SyncReport::fail(context, unreachable ? kExitOffline : kExitFailure,
                                failureMessage(unreachable, imported.error, changes),
                                imported.error, document);
    }
    if (!after.ok()) {
        return SyncReport::fail(context, kExitFailure, after.error().description, after.error(),
                                document);
    }
    document["imported"] = true;
    context.output.note(imported.categoriesTotal == 0
                            ? std::string("Catalogue synchronised (no category needed an import).")
                            : fmt::format("Catalogue synchronised ({} of {} categories imported).",
                                          imported.categoriesDone, imported.categoriesTotal));
    if (heldBack) {
        context.output.note(fmt::format(kRemovalHeldBack, heldBack->description));
    }
    if (*interrupted != 0) {
        return SyncReport::fail(context, SignalWatch::exitCodeForInterruptedWork(*interrupted),
                                "interrupted; no file was downloaded", std::nullopt, document);
    }
    if (options.noDownload) {
        context.output.result(changesText(changes), document);
        return heldBack ? kExitPartialFailure : kExitSuccess;
    }
    int downloaded = SyncDownloadStep::run(context, options, changesText(changes), document,
                                           interrupted, session);
    return heldBack && downloaded == kExitSuccess ? kExitPartialFailure : downloaded;
}

}  // namespace pagewell::cli
