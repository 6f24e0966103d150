#include "cli/DeleteCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/IdList.h"
#include "cli/TerminalText.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "store/File.h"
#include "store/PersistentStore.h"
#include "sync/SyncManager.h"
#include "sync/SyncViewCell.h"
#include "sync/SyncViewController.h"

namespace pagewell::cli {

namespace {

// Long enough for a user to answer a question.
constexpr std::chrono::minutes kAnswerWait{3};
// Removing every downloaded file of a large catalogue takes a while on a slow disk.
constexpr std::chrono::minutes kDeleteAllWait{30};

// Asks through the process-wide presenter and counts the answers, so the command knows when
// a row's question has been answered and whatever the answer started has run.
class CountingPresenter final : public Presenter {
  public:
    AlertId showAlert(const Alert& alert, AlertCompletion completion) override {
        return Presenter::shared().showAlert(alert, [this, completion](int button) {
            if (completion) {
                completion(button);
            }
            ++answered_;
        });
    }
    void dismissAlert(AlertId id, int buttonIndex, bool animated) override {
        Presenter::shared().dismissAlert(id, buttonIndex, animated);
    }
    void promptText(const TextPrompt& prompt,
                    std::function<void(std::optional<std::string>)> completion) override {
        Presenter::shared().promptText(prompt, std::move(completion));
    }
    void choose(const ChoicePrompt& prompt,
                std::function<void(std::optional<std::size_t>)> completion) override {
        Presenter::shared().choose(prompt, std::move(completion));
    }

    int answered() const { return answered_; }

  private:
    int answered_ = 0;
};

std::shared_ptr<SyncViewController> makeScreen(std::shared_ptr<Presenter> presenter) {
    SyncViewController::Services services;
    services.cell.presenter = std::move(presenter);
    return SyncViewController::create(std::move(services));
}

}  // namespace

void DeleteCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* command = parent.add_subcommand(
        "delete", "Remove your local copy of files, or of every downloaded file (asks first)");
    auto* ids =
        command->add_option("ID", fileIDs_, "The files' ids, as `pagewell downloads` shows them");
    auto* all = command->add_flag("--all", all_, "Every downloaded file");
    ids->excludes(all);
    command->callback([this, &exitCode, command] {
        if (all_) {
            exitCode = deleteAll(context_);
        } else if (fileIDs_.empty()) {
            std::fputs(command->help().c_str(), stderr);
            exitCode = kExitUsage;
        } else {
            exitCode = deleteFiles(context_, fileIDs_);
        }
    });
}

int DeleteCommand::deleteFiles(const CommandContext& context,
                               const std::vector<std::int64_t>& fileIDs) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    SyncManager::sharedInstance().removeLeftoverDownloads();
    StoreContext& store = PersistentStore::shared()->mainContext();
    auto presenter = std::make_shared<CountingPresenter>();
    std::shared_ptr<SyncViewController> screen = makeScreen(presenter);

    // Every ID is checked before anything is asked: the row must offer Delete.
    std::vector<std::unique_ptr<SyncViewCell>> rows;
    for (std::int64_t id : fileIDs) {
        auto found = File::findWithCmsID(store, id);
        if (!found.ok()) {
            context.output.failure(found.error().description, &found.error());
            return kExitFailure;
        }
        std::unique_ptr<SyncViewCell> row;
        if (found.value()) {
            row = screen->makeCell(*found.value());
        }
        if (!row || row->buttonState() != SyncViewCell::ButtonState::Delete) {
            context.output.failure(
                row ? fmt::format("file {} ({}) is not on this device; its row offers {}", id,
                                  TerminalText::escape(row->title()),
                                  SyncViewCell::labelForState(row->buttonState()).fallback)
                    : fmt::format("there is no file with id {}", id));
            return kExitFailure;
        }
        rows.push_back(std::move(row));
    }

    std::vector<std::int64_t> deleted;
    std::vector<std::int64_t> kept;
    for (std::size_t index = 0; index < rows.size(); ++index) {
        SyncViewCell& row = *rows[index];
        const int before = presenter->answered();
        row.touchButton();
        MainQueue::shared().runUntil([&] { return presenter->answered() > before; }, kAnswerWait);
        row.setupButton();
        if (row.buttonState() == SyncViewCell::ButtonState::Delete) {
            kept.push_back(fileIDs[index]);
        } else {
            deleted.push_back(fileIDs[index]);
        }
    }
    std::string text;
    if (!deleted.empty()) {
        text += fmt::format("Deleted: {}\n", IdList::text(deleted));
    }
    if (!kept.empty()) {
        text += fmt::format("Kept: {}\n", IdList::text(kept));
    }
    context.output.result(text, {{"deleted", deleted}, {"kept", kept}});
    return kept.empty() ? kExitSuccess : kExitFailure;
}

int DeleteCommand::deleteAll(const CommandContext& context) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepare(context); prepared != kExitSuccess) {
        return prepared;
    }
    SyncManager::sharedInstance().removeLeftoverDownloads();
    std::shared_ptr<SyncViewController> screen = makeScreen(Presenter::sharedPointer());
    std::optional<SyncViewController::DeleteAllResult> result;
    screen->deleteAll(
        [&result](const SyncViewController::DeleteAllResult& ended) { result = ended; });
    MainQueue::shared().runUntil([&result] { return result.has_value(); }, kDeleteAllWait);
    if (!result) {
        context.output.failure("the files were not all removed in time");
        return kExitFailure;
    }
    using Ending = SyncViewController::DeleteAllResult::Ending;
    switch (result->ending) {
        case Ending::Declined:
            context.output.note("Nothing was deleted.");
            if (context.output.json()) {
                context.output.result("", {{"deletedAll", false}, {"deletedFiles", 0}});
            }
            return kExitFailure;
        case Ending::Failed: {
            Error error = result->error.value_or(Error::make(kAppErrorDomain, -1, "failed"));
            context.output.failure("the files could not all be removed: " + error.description,
                                   &error);
            return kExitFailure;
        }
        case Ending::Deleted:
            break;
    }
    context.output.result(fmt::format("Deleted {} downloaded files.", result->deletedFiles),
                          {{"deletedAll", true}, {"deletedFiles", result->deletedFiles}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
