#include "cli/SettingsResetTimestampsCommand.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <nlohmann/json.hpp>

#include "app/LanguageSwitcher.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/LoginCommand.h"
#include "net/LoginManager.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "sync/TimestampManager.h"

namespace pagewell::cli {

void SettingsResetTimestampsCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* settings = parent.get_subcommand("settings");
    settings
        ->add_subcommand("reset-timestamps",
                         "Forget the change timestamps (everything is fetched again) and sign out")
        ->callback([this, &exitCode] { exitCode = run(context_); });
}

int SettingsResetTimestampsCommand::run(const CommandContext& context) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (!context.startApplication()) {
        return kExitFailure;
    }
    Alert alert;
    alert.title = LanguageSwitcher::localized(kTitleKey, kTitle);
    alert.message = LanguageSwitcher::localized(kTextKey, kText);
    alert.cancelButtonTitle = LanguageSwitcher::localized(kNoKey, kNo);
    alert.otherButtonTitles = {LanguageSwitcher::localized(kYesKey, kYes)};
    std::optional<int> answer;
    Presenter::shared().showAlert(alert, [&answer](int index) { answer = index; });
    MainQueue::shared().runUntil([&answer] { return answer.has_value(); }, std::chrono::minutes(3));
    if (answer != alert.firstOtherButtonIndex()) {
        context.output.note("The timestamps stay as they are.");
        if (context.output.json()) {
            context.output.result("", {{"timestampsReset", false}, {"loggedOut", false}});
        }
        return kExitFailure;
    }
    // A one-shot command runs no downloads, so there is nothing to stop first.
    TimestampManager::resetAllTimestamps();
    LoginCommand::sendServerLogoutOnSignOut();
    LoginManager& login = LoginManager::shared();
    login.logout();
    context.output.result("Timestamps reset; signed out. Sign in again to fetch everything.",
                          {{"timestampsReset", true}, {"loggedOut", true}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
