#pragma once
// `pagewell settings reset-sync`: the settings' "Reset sync" action. Asks first; yes erases
// every synchronised file, category and content language from this device (their files on
// disk go with them), forgets the change timestamps and signs out, showing the progress of
// the erasure. The user's own settings and sign-in name stay.
//
// With --json: {"dataReset": bool, "loggedOut": bool}. Exit codes: 0 done, 1 declined or the
// erasure failed (nothing was erased then), 6 data directory busy.

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class SettingsResetSyncCommand {
  public:
    explicit SettingsResetSyncCommand(CommandContext& context) : context_(context) {}

    // Adds `reset-sync` to the `settings` command of `parent`.
    void add(CLI::App& parent, int& exitCode);

    static int run(const CommandContext& context);

    // The question (localisation key, default text).
    static constexpr const char* kTitleKey = "RESET_SYNC_TITLE";
    static constexpr const char* kTitle = "Reset sync";
    static constexpr const char* kTextKey = "RESET_SYNC_TEXT";
    static constexpr const char* kText =
        "Do you really want to reset the sync? All data expect your user will be erased from "
        "this device.";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";

  private:
    CommandContext& context_;
};

}  // namespace pagewell::cli
