#include "cli/SettingsResetTimestampsCommand.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/LanguageSwitcher.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "net/LoginManager.h"
#include "net/SessionRequests.h"
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
    LoginManager& login = LoginManager::shared();
    login.setHooks(LoginManager::Hooks{
        {}, {}, [] {
            // Sent without awaiting its answer; a short pump
            // lets it leave before the process ends.
            auto finished = std::make_shared<bool>(false);
            SessionRequests().logout([finished] { *finished = true; },
                                     [finished](const Error&) { *finished = true; });
            MainQueue::shared().runUntil([finished] { return *finished; }, std::chrono::seconds(5));
        }});
    login.logout();
    context.output.result("Timestamps reset; signed out. Sign in again to fetch everything.",
                          {{"timestampsReset", true}, {"loggedOut", true}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
