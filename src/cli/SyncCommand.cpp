#include "cli/SyncCommand.h"

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
#include "cli/DownloadProgress.h"
#include "cli/ExitCode.h"
#include "cli/SignalWatch.h"
#include "cli/TerminalProgress.h"
#include "library/CategoryFilterType.h"
#include "library/CategoryWrapper.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "platform/HttpResponse.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileSizeText.h"
#include "store/PersistentStore.h"
#include "sync/CatalogueChanges.h"
#include "sync/CatalogueSnapshot.h"
#include "sync/SyncManager.h"
#include "sync/SyncViewController.h"

namespace pagewell::cli {

namespace {

// A bound on the whole run, not a pace: every transfer has its own connect timeout and
// low-speed limit, so a dead server ends a run long before this.
constexpr std::chrono::hours kSyncWait{12};

constexpr const char* kStopping = "\nStopping… (press Ctrl-C again to quit at once)";
constexpr const char* kNoDownloadOffline = "offline / server unreachable — no file was downloaded";

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

// Errors that mean the server was never reached (or stopped answering), as opposed to a
// server that answered with a failure.
bool isUnreachable(const Error& error) {
    if (error.domain == InterfaceManager::kUnreachableErrorDomain) {
        return true;
    }
    if (error.domain != HttpErrors::kNetworkDomain) {
        return false;
    }
    switch (error.code) {
        case HttpErrors::kTimedOut:
        case HttpErrors::kCannotFindHost:
        case HttpErrors::kCannotConnectToHost:
        case HttpErrors::kNetworkConnectionLost:
        case HttpErrors::kSecureConnectionFailed:
        case HttpErrors::kServerCertificateUntrusted:
            return true;
        default:
            return false;
    }
}

bool isSessionExpired(const Error& error) {
    return error.domain == InterfaceManager::kVXErrorDomain &&
           error.code == InterfaceManager::kSessionExpiredErrorCode;
}

// Notes whether the session expired (a token renewal failed) while it lives.
class SessionExpiryWatch {
  public:
    SessionExpiryWatch()
        : expired_(std::make_shared<bool>(false)),
          token_(NotificationCenter::shared().addObserver(
              InterfaceManager::kSessionExpiredNotification,
              // Posted on the main queue, where the flag is read.
              [expired = expired_](const Notification&) { *expired = true; })) {}
    ~SessionExpiryWatch() { NotificationCenter::shared().removeObserver(token_); }
    SessionExpiryWatch(const SessionExpiryWatch&) = delete;
    SessionExpiryWatch& operator=(const SessionExpiryWatch&) = delete;

    bool expired() const { return *expired_; }

  private:
    std::shared_ptr<bool> expired_;
    NotificationCenter::Token token_;
};

nlohmann::json errorDocument(const std::string& message, const std::optional<Error>& error) {
    nlohmann::json document = {{"message", message}};
    if (error) {
        document["domain"] = error->domain;
        document["code"] = error->code;
        document["description"] = error->description;
    }
    return document;
}

// "pagewell: message" on stderr; with --json, `document` (the run so far) with the error added
// on stdout, so that scripts get one document whatever happened.
int fail(const CommandContext& context, int exitCode, const std::string& message,
         const std::optional<Error>& error, nlohmann::json document) {
    context.output.note("pagewell: " + message);
    if (context.output.json()) {
        document["error"] = errorDocument(message, error);
        context.output.result("", document);
    }
    return exitCode;
}

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
    bool ended = MainQueue::shared().runUntil([state] { return state->done; }, kSyncWait);
    progress->finish();
    ImportOutcome outcome;
    outcome.finished = ended;
    outcome.error = state->error;
    outcome.categoriesDone = state->counter.done();
    outcome.categoriesTotal = state->counter.total();
    return outcome;
}

std::string idList(const std::vector<std::int64_t>& ids) {
    return fmt::format("{}", fmt::join(ids, ", "));
}

CategoryFilterType filterNamed(const std::string& name) {
    static const std::pair<const char*, CategoryFilterType> kNames[] = {
        {"all", CategoryFilterType::All},
        {"downloaded", CategoryFilterType::Downloaded},
        {"not-downloaded", CategoryFilterType::NotDownloaded},
        {"error", CategoryFilterType::DownloadError},
        {"update", CategoryFilterType::UpdateAvailable},
    };
    for (const auto& [text, type] : kNames) {
        if (name == text) {
            return type;
        }
    }
    return CategoryFilterType::All;
}

nlohmann::json downloadsDocument(const SyncManager::DownloadSummary& summary) {
    nlohmann::json failed = nlohmann::json::array();
    for (const auto& [id, error] : summary.failed) {
        failed.push_back({{"id", id}, {"error", error.description}});
    }
    return {{"downloaded", summary.downloaded},
            {"failed", failed},
            {"unhidden", summary.unhidden},
            {"cancelled", summary.cancelled}};
}

std::string downloadsText(const SyncManager::DownloadSummary& summary) {
    std::string text;
    auto line = [&text](const char* what, std::vector<std::int64_t> ids) {
        std::sort(ids.begin(), ids.end());
        if (!ids.empty()) {
            text += fmt::format("{:<12}{} file{} ({})\n", std::string(what) + ":", ids.size(),
                                ids.size() == 1 ? "" : "s", idList(ids));
        }
    };
    std::vector<std::int64_t> failed;
    for (const auto& [id, error] : summary.failed) {
        failed.push_back(id);
    }
    line("Downloaded", summary.downloaded);
    line("Shown again", summary.unhidden);
    line("Failed", failed);
    line("Cancelled", summary.cancelled);
    if (text.empty()) {
        text = "No file needed a download.\n";
    }
    return text;
}

// The room a file takes once downloaded, for the progress line; 0 when unknown.
std::uint64_t completeSizeOfFile(std::int64_t fileID) {
    auto file = File::findWithCmsID(PersistentStore::shared()->mainContext(), fileID);
    if (!file.ok() || !file.value()) {
        return 0;
    }
    auto size = file.value()->completeFileSize(PersistentStore::shared()->mainContext());
    return size.ok() ? size.value() : 0;
}

// A failed token renewal: a server that cannot be reached, or one that refused the stored
// credentials.
int tokenFailure(const CommandContext& context, const std::optional<Error>& error,
                 const nlohmann::json& document) {
    if (error && isUnreachable(*error)) {
        return fail(context, kExitOffline, kNoDownloadOffline, error, document);
    }
    return fail(context, kExitSignInNeeded,
                "the server refused the stored sign-in; run `pagewell login` again", error,
                document);
}

// The screen's "Download all" (or the start of one category's row) with the live progress
// line, then the outcome as an exit code.
int download(const CommandContext& context, const SyncCommand::Options& options, std::string text,
             nlohmann::json document, const std::shared_ptr<int>& interrupted,
             const SessionExpiryWatch& session) {
    struct State {
        bool done = false;
        std::optional<SyncViewController::DownloadAllResult> all;
        std::optional<SyncViewController::StartCategoryResult> category;
        std::uint64_t neededBytes = 0;
        std::unique_ptr<DownloadProgress> progress;

        void startProgress() {
            if (!progress) {
                progress = std::make_unique<DownloadProgress>(
                    neededBytes,
                    DownloadProgress::Sources{
                        [] { return SyncManager::sharedInstance().queuedFileIDs().size(); },
                        completeSizeOfFile});
            }
        }
    };
    // Every document of a run that got this far lists the files, empty when none ended.
    document.update(downloadsDocument({}));
    auto state = std::make_shared<State>();
    SyncViewController::Display display;
    // "Yes" to the question turns the buttons busy: the downloads start.
    display.buttonsInProgress = [state](bool inProgress) {
        if (inProgress) {
            state->startProgress();
        }
    };
    auto controller = SyncViewController::create({}, display);
    if (!options.keyword.empty()) {
        controller->setSearchText(options.keyword);
    } else {
        controller->setFilterType(filterNamed(options.filter));
    }
    SyncManager::FileCompletion fileDone = [state](const SyncManager::FileOutcome& outcome) {
        if (state->progress) {
            state->progress->fileEnded(outcome.fileID,
                                       outcome.kind == SyncManager::FileOutcome::Kind::Downloaded);
        }
    };

    SyncManager& manager = SyncManager::sharedInstance();
    if (options.category) {
        StoreContext& main = PersistentStore::shared()->mainContext();
        auto category =
            FileCategory::findWithID(main, *options.category, *CurrentSelection::localeKey());
        if (!category.ok() || !category.value()) {
            return fail(
                context, kExitFailure,
                fmt::format("there is no category {} in your content language", *options.category),
                category.ok() ? std::nullopt : std::optional<Error>(category.error()), document);
        }
        auto needed =
            manager.neededDiskspaceForCategories({*category.value()}, controller->filter());
        state->neededBytes = needed.ok() ? needed.value() : 0;
        state->startProgress();
        controller->startDownloadForCategory(
            *category.value(),
            [state](const SyncViewController::StartCategoryResult& result) {
                state->category = result;
                state->done = true;
            },
            fileDone);
    } else {
        auto roots = controller->currentTree();
        if (roots.ok()) {
            std::vector<FileCategory> categories;
            for (const CategoryWrapper& root : roots.value()) {
                categories.push_back(root.fileCategory);
            }
            auto needed = manager.neededDiskspaceForCategories(categories, controller->filter());
            state->neededBytes = needed.ok() ? needed.value() : 0;
        }
        controller->downloadAll(
            [state](const SyncViewController::DownloadAllResult& result) {
                state->all = result;
                state->done = true;
            },
            fileDone);
    }
    MainQueue::shared().runUntil([state] { return state->done; }, kSyncWait);
    if (state->progress) {
        state->progress->finish();
        context.output.note(state->progress->summary());
    }

    std::optional<SyncManager::DownloadResult> downloads;
    if (state->all) {
        using Ending = SyncViewController::DownloadAllResult::Ending;
        const auto& all = *state->all;
        switch (all.ending) {
            case Ending::Downloaded:
                downloads = all.downloads;
                break;
            case Ending::NothingToDownload:
                context.output.result(text + downloadsText({}), document);
                return kExitSuccess;
            case Ending::Offline:
                return fail(context, kExitOffline, kNoDownloadOffline, all.error, document);
            case Ending::NotEnoughSpace:
                return fail(context, kExitFailure,
                            "not enough disk space for " +
                                FileSizeText::stringFromFileSize(all.neededBytes),
                            all.error, document);
            case Ending::Declined:
                return fail(context, kExitFailure,
                            "no file was downloaded: the download was declined", std::nullopt,
                            document);
            case Ending::Stopped:
                return fail(context, kExitFailure, "a running synchronisation was stopped",
                            std::nullopt, document);
            case Ending::Failed:
                return fail(context, kExitFailure,
                            "the files to download could not be found: " +
                                (all.error ? all.error->description : std::string("unknown error")),
                            all.error, document);
        }
    } else if (state->category) {
        using Ending = SyncViewController::StartCategoryResult::Ending;
        const auto& category = *state->category;
        switch (category.ending) {
            case Ending::Downloaded:
                downloads = category.downloads;
                break;
            case Ending::Offline:
                return fail(context, kExitOffline, kNoDownloadOffline, category.error, document);
            case Ending::NoToken:
            case Ending::TokenFailed:
                return tokenFailure(context, category.error, document);
        }
    }
    if (!downloads) {
        return fail(context, kExitFailure, "the downloads did not end", std::nullopt, document);
    }
    document.update(downloadsDocument(downloads->summary));
    if (*interrupted != 0) {
        return fail(context, SignalWatch::exitCodeFor(*interrupted),
                    "interrupted; the remaining downloads were cancelled", std::nullopt, document);
    }
    if (session.expired()) {
        return fail(context, kExitSignInNeeded,
                    "the session has expired; run `pagewell login` again", std::nullopt, document);
    }
    using Ending = SyncManager::DownloadResult::Ending;
    switch (downloads->ending) {
        case Ending::Finished:
            break;
        case Ending::TokenFailed:
        case Ending::NoToken:
            return tokenFailure(context, downloads->error, document);
        case Ending::NotEnoughSpace:
            return fail(context, kExitFailure, "not enough disk space", downloads->error, document);
        case Ending::Cancelled:
            return fail(context, kExitFailure, "the downloads were stopped", downloads->error,
                        document);
    }
    text += downloadsText(downloads->summary);
    const auto& failed = downloads->summary.failed;
    if (!failed.empty()) {
        std::string names;
        for (const auto& [id, error] : failed) {
            names += fmt::format("\n  {}: {}", id, error.description);
        }
        context.output.note(fmt::format("pagewell: {} file{} failed:{}", failed.size(),
                                        failed.size() == 1 ? "" : "s", names));
        context.output.result(text, document);
        return kExitPartialFailure;
    }
    context.output.result(text, document);
    return kExitSuccess;
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
                text += fmt::format("  {:<10}{}\n", std::string(name) + ":", idList(*ids));
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
        return fail(context, kExitOffline, kNothingSynchronised,
                    InterfaceManager::unreachableError(), document);
    }
    if (!LoginManager::shared().isLoggedIn()) {
        return fail(context, kExitSignInNeeded, "the session has ended; run `pagewell login` again",
                    std::nullopt, document);
    }

    // Ctrl-C stops the downloads (the queue is cancelled, finished files stay) and the run
    // ends once the manager has reported; a second one ends the process at once.
    auto interrupted = std::make_shared<int>(0);
    SignalWatch signals([interrupted, &context](int signalNumber) {
        if (*interrupted != 0) {
            std::_Exit(SignalWatch::exitCodeFor(*interrupted));
        }
        *interrupted = signalNumber;
        context.output.note(kStopping);
        SyncManager::sharedInstance().stop();
    });

    StoreContext& main = PersistentStore::shared()->mainContext();
    const std::int64_t userKey = *CurrentSelection::userKey();
    const std::int64_t localeKey = *CurrentSelection::localeKey();
    auto before = CatalogueSnapshot::take(main, userKey, localeKey);
    if (!before.ok()) {
        return fail(context, kExitFailure, before.error().description, before.error(), document);
    }

    SessionExpiryWatch session;
    ImportOutcome imported = importCatalogue();
    auto after = CatalogueSnapshot::take(main, userKey, localeKey);
    CatalogueChanges changes;
    if (after.ok()) {
        changes = after.value().changesSince(before.value());
        document.update(changesDocument(changes));
    }
    if (session.expired() || (imported.error && isSessionExpired(*imported.error))) {
        return fail(context, kExitSignInNeeded,
                    "the session has expired; run `pagewell login` again", imported.error,
                    document);
    }
    if (!imported.finished) {
        return fail(context, kExitOffline, kNothingSynchronised, std::nullopt, document);
    }
    if (imported.error) {
        if (isUnreachable(*imported.error)) {
            return fail(context, kExitOffline, kNothingSynchronised, imported.error, document);
        }
        return fail(context, kExitFailure,
                    "the catalogue could not be synchronised: " + imported.error->description,
                    imported.error, document);
    }
    if (!after.ok()) {
        return fail(context, kExitFailure, after.error().description, after.error(), document);
    }
    document["imported"] = true;
    context.output.note(imported.categoriesTotal == 0
                            ? std::string("Catalogue synchronised (no category needed an import).")
                            : fmt::format("Catalogue synchronised ({} of {} categories imported).",
                                          imported.categoriesDone, imported.categoriesTotal));
    if (*interrupted != 0) {
        return fail(context, SignalWatch::exitCodeFor(*interrupted),
                    "interrupted; no file was downloaded", std::nullopt, document);
    }
    if (options.noDownload) {
        context.output.result(changesText(changes), document);
        return kExitSuccess;
    }
    return download(context, options, changesText(changes), document, interrupted, session);
}

}  // namespace pagewell::cli
