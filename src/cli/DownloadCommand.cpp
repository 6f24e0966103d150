#include "cli/DownloadCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/AppSettings.h"
#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/DownloadProgress.h"
#include "cli/ExitCode.h"
#include "cli/IdList.h"
#include "cli/SignalWatch.h"
#include "cli/TerminalText.h"
#include "net/InterfaceManager.h"
#include "platform/MainQueue.h"
#include "platform/ReachabilityWatcher.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/PersistentStore.h"
#include "sync/SyncManager.h"
#include "sync/SyncViewController.h"

namespace pagewell::cli {

namespace {

// How long one probe of the server may take when every download failed.
constexpr std::chrono::seconds kProbeWait{10};

// What the command collects while the files are under way; shared with callbacks that may
// arrive after a wait gave up.
struct Downloads {
    std::size_t queued = 0;
    std::size_t ended = 0;
    std::vector<std::int64_t> downloaded;
    std::vector<std::int64_t> unhidden;
    std::vector<std::int64_t> alreadyDownloaded;
    std::vector<std::pair<std::int64_t, Error>> failed;
    bool interrupted = false;
};

// Whether the configured server answers a connection now.
bool serverReachable() {
    std::optional<std::string> address = AppSettings::cmsUrl();
    if (!address) {
        return false;
    }
    auto watcher = ReachabilityWatcher::forURL(*address);
    if (!watcher) {
        return false;
    }
    std::optional<NetworkStatus> status;
    watcher->setStatusHandler([&status](NetworkStatus reported) { status = reported; });
    watcher->probeNow();
    MainQueue::shared().runUntil([&status] { return status.has_value(); }, kProbeWait);
    watcher->stopNotifier();
    return status && *status != NetworkStatus::NotReachable;
}

// The files of the current user with those IDs, in the order given; an unknown ID is
// reported and ends the command.
Result<std::vector<File>> filesWithIDs(const std::vector<std::int64_t>& fileIDs) {
    StoreContext& store = PersistentStore::shared()->mainContext();
    std::vector<File> files;
    for (std::int64_t id : fileIDs) {
        auto found = File::findWithCmsID(store, id);
        if (!found.ok()) {
            return found.error();
        }
        bool visible = false;
        if (found.value()) {
            auto users = found.value()->userKeys(store);
            if (!users.ok()) {
                return users.error();
            }
            auto user = CurrentSelection::userKey();
            visible = user && std::find(users.value().begin(), users.value().end(), *user) !=
                                  users.value().end();
        }
        if (!visible) {
            return Error::make(kAppErrorDomain, -1,
                               fmt::format("there is no file with id {} in your catalogue", id));
        }
        files.push_back(*found.value());
    }
    return files;
}

nlohmann::json summaryDocument(const Downloads& downloads) {
    nlohmann::json failed = nlohmann::json::array();
    for (const auto& [id, error] : downloads.failed) {
        failed.push_back({{"id", id}, {"error", error.description}});
    }
    return {{"downloaded", downloads.downloaded},
            {"unhidden", downloads.unhidden},
            {"alreadyDownloaded", downloads.alreadyDownloaded},
            {"failed", failed}};
}

std::string summaryText(const Downloads& downloads) {
    std::string text;
    auto line = [&text](const char* label, const std::vector<std::int64_t>& ids) {
        if (!ids.empty()) {
            text += fmt::format("{} {}\n", label, IdList::text(ids));
        }
    };
    line("Downloaded:", downloads.downloaded);
    line("Shown again:", downloads.unhidden);
    line("Already on this device:", downloads.alreadyDownloaded);
    for (const auto& [id, error] : downloads.failed) {
        text += fmt::format("Failed: {} ({})\n", id, TerminalText::escape(error.description));
    }
    return text;
}

}  // namespace

void DownloadCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command =
        parent.add_subcommand("download", "Download files (a file you removed is shown again)");
    command->add_option("ID", fileIDs_, "The files' ids, as `pagewell downloads` shows them")
        ->required();
    command->callback([this, &exitCode] { exitCode = run(context_, fileIDs_); });
}

int DownloadCommand::run(const CommandContext& context, const std::vector<std::int64_t>& fileIDs) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    auto files = filesWithIDs(fileIDs);
    if (!files.ok()) {
        context.output.failure(files.error().description, &files.error());
        return kExitFailure;
    }
    MainQueue& queue = MainQueue::shared();
    SyncManager& sync = SyncManager::sharedInstance();
    auto downloads = std::make_shared<Downloads>();
    SignalWatch signals([downloads](int) {
        if (!downloads->interrupted) {
            downloads->interrupted = true;
            SyncManager::sharedInstance().stop();
        }
    });

    std::shared_ptr<SyncViewController> screen = SyncViewController::create();
    if (!InterfaceManager::sharedInstance().isReachable()) {
        // In offline mode the screen asks whether to leave it instead of starting the file;
        // "Yes" leaves it and the files are started below.
        bool asked = false;
        screen->startDownloadForFile(
            files.value().front(),
            [&asked](const SyncViewController::StartFileResult&) { asked = true; });
        queue.runUntil([&asked] { return asked; }, std::chrono::minutes(3));
        if (!InterfaceManager::sharedInstance().isReachable()) {
            context.output.failure(kNothingDownloaded);
            return kExitOffline;
        }
    }
    // A copy that is on the device and shown needs nothing: the row would offer Delete.
    std::vector<File> wanted;
    std::map<std::int64_t, std::uint64_t> sizes;
    std::uint64_t neededBytes = 0;
    for (const File& file : files.value()) {
        const std::int64_t id = file.cmsID.value_or(0);
        if (screen->makeCell(file)->buttonState() == SyncViewCell::ButtonState::Delete) {
            downloads->alreadyDownloaded.push_back(id);
            continue;
        }
        auto size = file.completeFileSize(PersistentStore::shared()->mainContext());
        sizes[id] = size.ok() ? size.value() : 0;
        neededBytes += sizes[id];
        wanted.push_back(file);
    }
    auto progress = std::make_shared<DownloadProgress>(
        neededBytes, DownloadProgress::Sources{
                         [downloads] { return downloads->queued - downloads->ended; },
                         [sizes](std::int64_t fileID) {
                             auto found = sizes.find(fileID);
                             return found == sizes.end() ? std::uint64_t{0} : found->second;
                         }});
    for (const File& file : wanted) {
        const std::int64_t id = file.cmsID.value_or(0);
        ++downloads->queued;
        screen->startDownloadForFile(
            file, [downloads, progress, id](const SyncViewController::StartFileResult& result) {
                using Ending = SyncViewController::StartFileResult::Ending;
                switch (result.ending) {
                    case Ending::Unhidden:
                        downloads->unhidden.push_back(id);
                        break;
                    case Ending::Ended:
                        if (!downloads->interrupted) {
                            downloads->downloaded.push_back(id);
                        }
                        break;
                    case Ending::Failed:
                        downloads->failed.emplace_back(
                            id, result.error.value_or(Error::make(kAppErrorDomain, -1, "failed")));
                        break;
                    case Ending::Offline:
                    case Ending::AlreadyQueued:
                        break;
                }
                ++downloads->ended;
                progress->fileEnded(id, result.ending == Ending::Ended && !downloads->interrupted);
            });
    }
    // A stop forgets the queue; when nothing is left running the wait is over too.
    queue.runUntil(
        [downloads, &sync] {
            return downloads->ended >= downloads->queued ||
                   (downloads->interrupted && sync.activity().operationCount == 0);
        },
        std::chrono::hours(24));
    progress->finish();
    if (downloads->queued > downloads->unhidden.size()) {
        context.output.note(progress->summary());
    }

    if (downloads->interrupted) {
        context.output.note("Interrupted; the queued downloads were cancelled.");
        context.output.result(summaryText(*downloads), summaryDocument(*downloads));
        return kExitInterrupted;
    }
    if (!downloads->failed.empty() && downloads->failed.size() == fileIDs.size() &&
        !serverReachable()) {
        context.output.failure(kNothingDownloaded);
        return kExitOffline;
    }
    context.output.result(summaryText(*downloads), summaryDocument(*downloads));
    if (!downloads->failed.empty()) {
        std::vector<std::int64_t> ids;
        for (const auto& [id, error] : downloads->failed) {
            ids.push_back(id);
        }
        // On stderr only: with --json the summary above is the one document.
        context.output.note(fmt::format("pagewell: {} of {} files failed: {}", ids.size(),
                                        fileIDs.size(), IdList::text(ids)));
        return kExitPartialFailure;
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli
