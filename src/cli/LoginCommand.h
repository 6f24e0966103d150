#pragma once
// `pagewell login` and `pagewell logout`: the login screen and the logout question of the app,
// asked on the terminal.
//
//   pagewell login [--user NAME] [--password-stdin] [--offline] [--skip] [--forgot NAME]
//
// The user name is asked with the keychain's (or the current user's) name as its default; the
// password is read without echo, or as one line from stdin with --password-stdin, and is
// offered from the keychain only while "LOGIN_SAVE_PASSWORD" is on. Every message is the
// login screen's own alert. Exit codes: 0 signed in, 1 refused, 2 usage, 4 no credentials given,
// 5 the password reminder could not reach the server.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class LoginCommand {
  public:
    struct Options {
        std::string user;
        bool passwordFromStdin = false;
        bool offline = false;
        bool skip = false;
        std::string forgotUser;
        bool forgot = false;
    };

    explicit LoginCommand(CommandContext& context) : context_(context) {}

    // Adds `login` and `logout` to `parent`; the chosen one stores its exit code in `exitCode`.
    void add(CLI::App& parent, int& exitCode);

    static int login(const CommandContext& context, const Options& options);
    static int logout(const CommandContext& context);
    // Makes the next sign-out tell the server, keeping the hooks the application wired; the
    // logout request is not awaited by the app, so a short pump lets it leave before a
    // one-shot command's process ends.
    static void sendServerLogoutOnSignOut();

    // The login screen's texts (localisation key, default text).
    static constexpr const char* kErrorTitle = "Error";  // ERROR
    static constexpr const char* kLoginEmpty =
        "Please type in your credentials";                        // LOGIN_EMPTY_MSG
    static constexpr const char* kCancel = "Cancel";              // CANCEL
    static constexpr const char* kLoginFailed = "Login failed.";  // LOGIN_FAILED
    static constexpr const char* kDismiss = "Dismiss";            // DISMISS
    static constexpr const char* kInfoTitle = "Info";             // INFO
    static constexpr const char* kOfflineInfo =
        "Activate offline mode if you have a slow or no internet connection. In offline mode the "
        "app does not try to connect the server. Only synced data will be available in this "
        "mode.";                                                    // OFFLINEMODE_INFO_TEXT
    static constexpr const char* kForgotTitle = "Forgot password";  // FORGOT_PASSWORD
    static constexpr const char* kEnterUsername = "Please enter your username";  // ENTER_USERNAME
    static constexpr const char* kReset = "Reset";                               // RESET
    static constexpr const char* kSuccessTitle = "Success";                      // SUCCESS
    static constexpr const char* kResetSuccess =
        "Your password was reset successfully. A new password was sent to you via mail.";
    static constexpr const char* kResetError =
        "Could not reset your password. Please check your username and internet connection.";
    static constexpr const char* kOk = "Ok";              // OK
    static constexpr const char* kUsername = "Username";  // USERNAME
    static constexpr const char* kPassword = "Password";  // PASSWORD
    static constexpr const char* kOffline = "Offline";    // OFFLINE
    static constexpr const char* kLogoutQuestion = "Do you really want to logout?";
    static constexpr const char* kLogoutTitle = "Logout";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNo = "No";

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli
