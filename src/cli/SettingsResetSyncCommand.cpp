#include "cli/SettingsResetSyncCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/LanguageSwitcher.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/LoginCommand.h"
#include "cli/TerminalProgress.h"
#include "net/LoginManager.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "sync/SyncManager.h"

namespace pagewell::cli {

namespace {

// The erasure is one store transaction plus the removal of the downloaded files; a slow disk
// may take a while, a hung one must not keep the command for ever.
constexpr std::chrono::minutes kEraseWait{10};

bool confirmed() {
    Alert alert;
    alert.title = LanguageSwitcher::localized(SettingsResetSyncCommand::kTitleKey,
                                              SettingsResetSyncCommand::kTitle);
    alert.message = LanguageSwitcher::localized(SettingsResetSyncCommand::kTextKey,
                                                SettingsResetSyncCommand::kText);
    alert.cancelButtonTitle = LanguageSwitcher::localized(SettingsResetSyncCommand::kNoKey,
                                                          SettingsResetSyncCommand::kNo);
    alert.otherButtonTitles = {LanguageSwitcher::localized(SettingsResetSyncCommand::kYesKey,
                                                           SettingsResetSyncCommand::kYes)};
    std::optional<int> answer;
    Presenter::shared().showAlert(alert, [&answer](int index) { answer = index; });
    MainQueue::shared().runUntil([&answer] { return answer.has_value(); }, std::chrono::minutes(3));
    return answer == alert.firstOtherButtonIndex();
}

}  // namespace

void SettingsResetSyncCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* settings = parent.get_subcommand("settings");
    settings
        ->add_subcommand("reset-sync",
                         "Erase the synchronised files, categories and languages, and sign out")
        ->callback([this, &exitCode] { exitCode = run(context_); });
}

int SettingsResetSyncCommand::run(const CommandContext& context) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (!context.openStore()) {
        return kExitFailure;
    }
    if (!confirmed()) {
        context.output.note("Nothing was erased.");
        if (context.output.json()) {
            context.output.result("", {{"dataReset", false}, {"loggedOut", false}});
        }
        return kExitFailure;
    }

    LoginCommand::sendServerLogoutOnSignOut();

    struct Erasure {
        double progress = 0;
        std::optional<Error> failure;
    };
    auto erasure = std::make_shared<Erasure>();
    TerminalProgress bar("% erased");
    context.output.note("Erasing the synchronised data…");
    SyncManager::sharedInstance().resetData(
        [erasure, &bar](double fraction) {
            erasure->progress = fraction;
            bar.update(static_cast<long>(fraction * 100), 100);
        },
        [erasure](const Error& error) { erasure->failure = error; });
    bool ended = MainQueue::shared().runUntil(
        [erasure] { return erasure->progress >= 1.0 || erasure->failure.has_value(); }, kEraseWait);
    bar.finish();
    if (!ended || erasure->failure) {
        Error error = erasure->failure.value_or(
            Error::make(kAppErrorDomain, -1, "The erasure did not finish in time."));
        context.output.failure("the synchronised data could not be erased: " + error.description,
                               &error);
        return kExitFailure;
    }
    // The sign-out follows the last progress report on the main queue.
    MainQueue::shared().runUntil([] { return !LoginManager::shared().isLoggedIn(); },
                                 std::chrono::seconds(10));
    bool loggedOut = !LoginManager::shared().isLoggedIn();
    context.output.result(
        loggedOut ? "Synchronised data erased; signed out." : "Synchronised data erased.",
        {{"dataReset", true}, {"loggedOut", loggedOut}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
