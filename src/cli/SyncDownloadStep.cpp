#include "cli/SyncDownloadStep.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "cli/CommandContext.h"
#include "cli/DownloadProgress.h"
#include "cli/ExitCode.h"
#include "cli/IdList.h"
#include "cli/SessionExpiryWatch.h"
#include "cli/SignalWatch.h"
#include "cli/SyncReport.h"
#include "cli/TerminalText.h"
#include "library/CategoryFilterType.h"
#include "library/CategoryWrapper.h"
#include "platform/MainQueue.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileSizeText.h"
#include "store/PersistentStore.h"
#include "sync/SyncViewController.h"

namespace pagewell::cli {

namespace {

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
    if (error && SyncReport::isUnreachable(*error)) {
        return SyncReport::fail(context, kExitOffline, SyncDownloadStep::kNoDownloadOffline, error,
                                document);
    }
    return SyncReport::fail(context, kExitSignInNeeded,
                            "the server refused the stored sign-in; run `pagewell login` again",
                            error, document);
}

}  // namespace

nlohmann::json SyncDownloadStep::downloadsDocument(const SyncManager::DownloadSummary& summary) {
    nlohmann::json failed = nlohmann::json::array();
    for (const auto& [id, error] : summary.failed) {
        failed.push_back({{"id", id}, {"error", error.description}});
    }
    return {{"downloaded", summary.downloaded},
            {"failed", failed},
            {"unhidden", summary.unhidden},
            {"cancelled", summary.cancelled}};
}

std::string SyncDownloadStep::downloadsText(const SyncManager::DownloadSummary& summary) {
    std::string text;
    auto line = [&text](const char* what, std::vector<std::int64_t> ids) {
        std::sort(ids.begin(), ids.end());
        if (!ids.empty()) {
            text += fmt::format("{:<12}{} file{} ({})\n", std::string(what) + ":", ids.size(),
                                ids.size() == 1 ? "" : "s", IdList::text(ids));
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

int SyncDownloadStep::run(const CommandContext& context, const SyncCommand::Options& options,
                          std::string text, nlohmann::json document,
                          const std::shared_ptr<int>& interrupted,
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
    display.buttonsInProgress = [state, interrupted](bool inProgress) {
        if (!inProgress) {
            return;
        }
        // A Ctrl-C that came while the question was open stopped nothing yet: the download-all
        // starts afresh, so it is stopped now.
        if (*interrupted != 0) {
            SyncManager::sharedInstance().stop();
        }
        state->startProgress();
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
            return SyncReport::fail(
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
    MainQueue::shared().runUntil([state] { return state->done; }, SyncReport::kStepWait);
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
                return SyncReport::fail(context, kExitOffline, kNoDownloadOffline, all.error,
                                        document);
            case Ending::NotEnoughSpace:
                return SyncReport::fail(context, kExitFailure,
                                        "not enough disk space for " +
                                            FileSizeText::stringFromFileSize(all.neededBytes),
                                        all.error, document);
            case Ending::Declined:
                return SyncReport::fail(context, kExitFailure,
                                        "no file was downloaded: the download was declined",
                                        std::nullopt, document);
            case Ending::Stopped:
                return SyncReport::fail(context, kExitFailure,
                                        "a running synchronisation was stopped", std::nullopt,
                                        document);
            case Ending::Failed:
                return SyncReport::fail(
                    context, kExitFailure,
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
                return SyncReport::fail(context, kExitOffline, kNoDownloadOffline, category.error,
                                        document);
            case Ending::NoToken:
            case Ending::TokenFailed:
                return tokenFailure(context, category.error, document);
        }
    }
    if (!downloads) {
        return SyncReport::fail(context, kExitFailure, "the downloads did not end", std::nullopt,
                                document);
    }
    document.update(downloadsDocument(downloads->summary));
    if (*interrupted != 0) {
        return SyncReport::fail(context, SignalWatch::exitCodeForInterruptedWork(*interrupted),
                                "interrupted; the remaining downloads were cancelled", std::nullopt,
                                document);
    }
    if (session.expired()) {
        return SyncReport::fail(context, kExitSignInNeeded,
                                "the session has expired; run `pagewell login` again", std::nullopt,
                                document);
    }
    using Ending = SyncManager::DownloadResult::Ending;
    switch (downloads->ending) {
        case Ending::Finished:
            break;
        case Ending::TokenFailed:
        case Ending::NoToken:
            return tokenFailure(context, downloads->error, document);
        case Ending::NotEnoughSpace:
            return SyncReport::fail(context, kExitFailure, "not enough disk space",
                                    downloads->error, document);
        case Ending::Cancelled:
            return SyncReport::fail(context, kExitFailure, "the downloads were stopped",
                                    downloads->error, document);
    }
    text += downloadsText(downloads->summary);
    const auto& failed = downloads->summary.failed;
    if (!failed.empty()) {
        std::string names;
        for (const auto& [id, error] : failed) {
            names += fmt::format("\n  {}: {}", id, TerminalText::escape(error.description));
        }
        context.output.note(fmt::format("pagewell: {} file{} failed:{}", failed.size(),
                                        failed.size() == 1 ? "" : "s", names));
        context.output.result(text, document);
        return kExitPartialFailure;
    }
    context.output.result(text, document);
    return kExitSuccess;
}

}  // namespace pagewell::cli
