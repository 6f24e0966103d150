#pragma once
// Placeholders in a settings row's "value", replaced when the row is shown:
//   "{APP_VERSION}"     the application's short version, e.g. "0.1.0"
//   "{CURRENT_LOCALE}"  the title of the current content language, supplied by the caller
//   "{SEND_LOG}", "{RESET_SYNC}", "{RESET_TIMESTAMPS}", "{RESET_READ_CONFIRMATIONS}",
//   "{IMPRINT}"         nothing: the row is an action, its title says what it does
// Stateless; safe from any thread.

#include <string>

namespace pagewell {

class SettingsPlaceholders {
  public:
    // `text` with every placeholder replaced, wherever and however often it occurs.
    static std::string replace(std::string text, const std::string& currentLocaleTitle = {});

    static std::string appVersion();

    static constexpr const char* kAppVersion = "{APP_VERSION}";
    static constexpr const char* kCurrentLocale = "{CURRENT_LOCALE}";
    static constexpr const char* kSendLog = "{SEND_LOG}";
    static constexpr const char* kResetSync = "{RESET_SYNC}";
    static constexpr const char* kResetTimestamps = "{RESET_TIMESTAMPS}";
    static constexpr const char* kResetReadConfirmations = "{RESET_READ_CONFIRMATIONS}";
    static constexpr const char* kImprint = "{IMPRINT}";
};

}  // namespace pagewell
