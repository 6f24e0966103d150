#pragma once
// `pagewell settings reset-timestamps`: the settings' "Reset timestamp" action. Asks first; yes
// forgets every change timestamp (the next synchronisation fetches everything again) and signs
// out, as the synchronisation screen's reset does.
//
// With --json: {"timestampsReset": bool, "loggedOut": bool}. Exit codes: 0 done, 1 declined.

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class SettingsResetTimestampsCommand {
  public:
    explicit SettingsResetTimestampsCommand(CommandContext& context) : context_(context) {}

    // Adds `reset-timestamps` to the `settings` command of `parent`.
    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context);

    // The question (localisation key, default text).
    static constexpr const char* kTitleKey = "RESET_TIMESTAMPS_TITLE";
    static constexpr const char* kTitle = "Reset timestamp";
    static constexpr const char* kTextKey = "RESET_TIMESTAMPS_TEXT";
    static constexpr const char* kText =
        "Do you really want to reset the timestamps? All data will be refetched from the server.";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";

  private:
    CommandContext& context_;
};

}  // namespace pagewell::cli
