#include "cli/LoginCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/AppSettings.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/LoginLocaleStep.h"
#include "cli/StatusCommand.h"
#include "cli/SyncReport.h"
#include "cli/TerminalText.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "net/LoginManager.h"
#include "net/SessionRequests.h"
#include "platform/HttpResponse.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "store/PersistentStore.h"

namespace pagewell::cli {

namespace {

// Long enough for a slow server; the HTTP session's own timeouts end a dead one sooner.
constexpr std::chrono::minutes kServerWait{3};

bool savePasswordOn() {
    auto value = SettingsManager::sharedInstance().getSettingInGroup(settings::kLoginGroup,
                                                                     settings::kLoginSavePassword);
    return value && value->boolValue();
}

// Shows an alert with one button and waits for it.
void tell(const std::string& title, const std::string& message, const std::string& button) {
    Alert alert;
    alert.title = title;
    alert.message = message;
    alert.cancelButtonTitle = button;
    bool answered = false;
    Presenter::shared().showAlert(alert, [&answered](int) { answered = true; });
    MainQueue::shared().runUntil([&answered] { return answered; }, kServerWait);
}

// Asks a yes/no question (No is the cancel button); true for Yes.
bool ask(const std::string& title, const std::string& message) {
    Alert alert;
    alert.title = title;
    alert.message = message;
    alert.cancelButtonTitle = LoginCommand::kNo;
    alert.otherButtonTitles = {LoginCommand::kYes};
    std::optional<int> answer;
    Presenter::shared().showAlert(alert, [&answer](int index) { answer = index; });
    MainQueue::shared().runUntil([&answer] { return answer.has_value(); }, kServerWait);
    return answer == alert.firstOtherButtonIndex();
}

std::optional<std::string> promptText(const std::string& placeholder, bool secure) {
    TextPrompt prompt;
    prompt.placeholder = placeholder;
    prompt.secure = secure;
    std::optional<std::optional<std::string>> answer;
    Presenter::shared().promptText(
        prompt, [&answer](std::optional<std::string> text) { answer = std::move(text); });
    MainQueue::shared().runUntil([&answer] { return answer.has_value(); }, kServerWait);
    return answer.value_or(std::nullopt);
}

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// The login screen's failure alert: the error's description, said plainly when the server
// could not be reached, and under it what the server itself answered, when it said something.
// The exit code that goes with it.
int reportFailure(const CommandContext& context, const Error& error) {
    const bool unreachable = SyncReport::isUnreachable(error);
    std::string message = error.description;
    if (unreachable && !HttpErrors::isCertificateFailure(error)) {
        message = "The server cannot be reached: " + message;
    }
    if (!error.serverMessage.empty()) {
        message += "\n" + std::string(SyncReport::kServerSays) + error.serverMessage;
    }
    tell(LoginCommand::kLoginFailed, message, LoginCommand::kDismiss);
    if (context.output.json()) {
        nlohmann::json document = {{"message", LoginCommand::kLoginFailed},
                                   {"domain", error.domain},
                                   {"code", error.code},
                                   {"description", error.description}};
        if (!error.serverMessage.empty()) {
            document["serverMessage"] = error.serverMessage;
        }
        context.output.result("", {{"error", std::move(document)}});
    }
    return unreachable ? kExitOffline : kExitFailure;
}

// Runs one login flow to its end; the error when it failed.
using LoginFlow = void (LoginManager::*)(const std::string&, const std::string&,
                                         LoginManager::SuccessBlock, LoginManager::FailBlock);
std::optional<Error> runLogin(LoginFlow flow, const std::string& user,
                              const std::string& password) {
    // Shared with the callbacks: an answer arriving after the wait must not write to a frame
    // that is gone.
    struct State {
        bool done = false;
        std::optional<Error> failure;
    };
    auto state = std::make_shared<State>();
    (LoginManager::shared().*flow)(
        user, password, [state] { state->done = true; },
        [state](const Error& error) {
            state->failure = error;
            state->done = true;
        });
    if (!MainQueue::shared().runUntil([state] { return state->done; }, kServerWait)) {
        return Error::make(kAppErrorDomain, -1, "The login did not finish in time.");
    }
    return state->failure;
}

// The login screen's step 4: online, or offline with the chance to go back online.
std::optional<Error> logIn(const CommandContext& context, const std::string& user,
                           const std::string& password) {
    InterfaceManager& interface = InterfaceManager::sharedInstance();
    if (!interface.isInOfflineMode()) {
        context.output.note("Checking…");
        return runLogin(&LoginManager::loginWithUserName, user, password);
    }
    std::optional<Error> failure =
        runLogin(&LoginManager::loginOfflineUserWithName, user, password);
    if (!failure) {
        return std::nullopt;
    }
    std::optional<bool> declined;
    interface.showOfflineModeAlert([&declined](bool answer) { declined = answer; });
    MainQueue::shared().runUntil([&declined] { return declined.has_value(); }, kServerWait);
    if (declined.value_or(true) || interface.isInOfflineMode()) {
        return failure;
    }
    context.output.note("Checking…");
    return runLogin(&LoginManager::loginWithUserName, user, password);
}

int forgotPassword(const CommandContext& context, const std::string& given) {
    if (!AppSettings::passwordResetEnabled()) {
        context.output.failure("this installation does not offer a password reset");
        return kExitFailure;
    }
    std::string user = trimmed(given);
    if (user.empty()) {
        context.output.failure(std::string(LoginCommand::kEnterUsername));
        return kExitUsage;
    }
    context.output.note("Checking…");
    auto answer = std::make_shared<std::optional<bool>>();
    SessionRequests().forgotPasswordForUser(
        user, [answer] { *answer = true; }, [answer](const Error&) { *answer = false; });
    MainQueue::shared().runUntil([answer] { return answer->has_value(); }, kServerWait);
    bool succeeded = answer->value_or(false);
    if (succeeded) {
        tell(LoginCommand::kSuccessTitle, LoginCommand::kResetSuccess, LoginCommand::kOk);
    } else {
        tell(LoginCommand::kErrorTitle, LoginCommand::kResetError, LoginCommand::kOk);
    }
    if (context.output.json()) {
        context.output.result("", {{"passwordReset", succeeded}, {"user", user}});
    }
    return succeeded ? kExitSuccess : kExitOffline;
}

}  // namespace

void LoginCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* login = parent.add_subcommand("login", "Sign in to the content server");
    login->footer(fmt::format("{}: {}", kInfoTitle, kOfflineInfo));
    login->add_option("--user", options_.user, "User name (asked when missing)");
    login->add_flag("--password-stdin", options_.passwordFromStdin,
                    "Read the password as one line from stdin");
    login->add_flag("--offline", options_.offline,
                    "Switch offline mode on and sign in against the stored password");
    login->add_flag("--skip", options_.skip,
                    "Sign in as the installation's skip-login user (when offered)");
    auto* forgot = login->add_option("--forgot", options_.forgotUser,
                                     "Ask the server to mail a new password to USER");
    forgot->type_name("USER");
    forgot->excludes("--skip");
    login->callback([this, forgot, &exitCode] {
        options_.forgot = forgot->count() > 0;
        exitCode = LoginCommand::login(context_, options_);
    });

    parent.add_subcommand("logout", "End the session (asks first)")->callback([this, &exitCode] {
        exitCode = logout(context_);
    });
}

void LoginCommand::sendServerLogoutOnSignOut() {
    LoginManager& login = LoginManager::shared();
    LoginManager::Hooks hooks = login.hooks();
    hooks.sendServerLogout = [] {
        auto finished = std::make_shared<bool>(false);
        SessionRequests().logout([finished] { *finished = true; },
                                 [finished](const Error&) { *finished = true; });
        MainQueue::shared().runUntil([finished] { return *finished; }, std::chrono::seconds(5));
    };
    login.setHooks(std::move(hooks));
}

int LoginCommand::login(const CommandContext& context, const Options& options) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (!context.openStore()) {
        return kExitFailure;
    }
    if (options.forgot) {
        return forgotPassword(context, options.forgotUser);
    }
    if (options.offline) {
        InterfaceManager::sharedInstance().activeOfflineMode(true);
    }

    std::string user = options.user;
    std::string password;
    KeychainBridge& keychain = KeychainBridge::shared();
    if (options.skip) {
        if (!AppSettings::skipLoginEnabled()) {
            context.output.failure("this installation offers no skip login");
            return kExitUsage;
        }
        user = AppSettings::skipLoginUser().value_or("");
        password = AppSettings::skipLoginPassword().value_or("");
    } else {
        // The prefill of the login screen; none for the skip-login user's session.
        std::string current = AccountManager::currentUsername();
        bool skipUserSession =
            AppSettings::skipLoginUser() && current == *AppSettings::skipLoginUser();
        std::string suggested;
        if (!skipUserSession) {
            suggested = keychain.username().empty() ? current : keychain.username();
        }
        if (user.empty()) {
            std::string label = suggested.empty() ? std::string(kUsername)
                                                  : fmt::format("{} [{}]", kUsername, suggested);
            user = promptText(label, false).value_or("");
            if (user.empty()) {
                user = suggested;
            }
        }
        if (options.passwordFromStdin) {
            std::getline(std::cin, password);
            while (!password.empty() && (password.back() == '\r' || password.back() == '\n')) {
                password.pop_back();
            }
        } else {
            bool saved = !skipUserSession && savePasswordOn() && !keychain.password().empty() &&
                         user == keychain.username();
            std::string label = saved ? fmt::format("{} [saved]", kPassword) : kPassword;
            password = promptText(label, true).value_or("");
            if (password.empty() && saved) {
                password = keychain.password();
            }
        }
    }

    if (user.empty() || password.empty()) {
        tell(kErrorTitle, kLoginEmpty, kCancel);
        if (context.output.json()) {
            context.output.result("", {{"error", {{"message", kLoginEmpty}}}});
        }
        return kExitSignInNeeded;
    }

    if (std::optional<Error> failure = logIn(context, user, password)) {
        return reportFailure(context, *failure);
    }
    if (int chosen = LoginLocaleStep::run(context); chosen != kExitSuccess) {
        return chosen;
    }
    nlohmann::json status = StatusCommand::document();
    std::string text =
        fmt::format("Signed in as {}{}", TerminalText::escape(user),
                    InterfaceManager::sharedInstance().isInOfflineMode() ? " (offline mode)" : "");
    context.output.result(text, status);
    return kExitSuccess;
}

int LoginCommand::logout(const CommandContext& context) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (!context.startApplication()) {
        return kExitFailure;
    }
    if (AppSettings::autoLoginWithSkipLoginUser()) {
        context.output.failure("this installation signs in automatically; there is no logout");
        return kExitFailure;
    }
    if (!ask(kLogoutTitle, kLogoutQuestion)) {
        context.output.note("Still signed in.");
        if (context.output.json()) {
            context.output.result("", {{"loggedOut", false}});
        }
        return kExitFailure;
    }
    sendServerLogoutOnSignOut();
    LoginManager& login = LoginManager::shared();
    login.logout();
    // Nobody is signed in now: without "LOGIN_SAVE_PASSWORD" the credentials go as well.
    if (!savePasswordOn()) {
        KeychainBridge::shared().deleteCredentials();
    }
    context.output.result("Signed out.", {{"loggedOut", true}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
