#pragma once
// What the settings list shows: the visible groups sorted by display title (case- and
// diacritic-insensitively), each with its rows and their shown values. The data for a front
// end (the command line now, a graphical one later); drawing it is the front end's business.
// Stateless; safe from any thread.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingRules.h"
#include "platform/PropertyList.h"

namespace pagewell {

class SettingsManager;

struct SettingRow {
    std::string key;
    std::string title;
    SettingRules::Kind kind = SettingRules::Kind::Text;
    PlistValue value;       // as stored
    std::string valueText;  // as shown: "on"/"off", "%d" for steppers, text with placeholders
    std::string caption;    // the row's "text", placeholders replaced
};

struct SettingGroupRow {
    std::string key;
    std::string title;
    bool visible = false;
    std::vector<SettingRow> rows;
};

class SettingsList {
  public:
    // The display title of a group or row from its key and its "alt" default. Localised
    // titles plug in here; without a lookup the "alt" text is shown (the key when absent).
    using TitleLookup = std::function<std::string(const std::string& key, const std::string& alt)>;

    struct Options {
        bool showTrackingGroup = false;  // AppSettings::trackingOptInPromptEnabled()
        TitleLookup title;
        std::string currentLocaleTitle;  // replaces "{CURRENT_LOCALE}"
        // The tracking consent, shown by the "TRACKING_ENABLED" switch instead of its stored
        // value once usage tracking supplies it.
        std::function<std::optional<bool>()> trackingConsent;
    };

    // Options taken from the application configuration.
    static Options defaultOptions();

    // The visible groups in display order.
    static std::vector<SettingGroupRow> groups(const SettingsManager& settings,
                                               const Options& options);
    // One group by key, visible or not (the detail screen; "VERSION_INFOS" when none chosen).
    static std::optional<SettingGroupRow> group(const SettingsManager& settings,
                                                const std::string& key, const Options& options);

    // A stepper's shown value: the stored number as a whole number ("%d"), 7.0 shows "7".
    static std::string stepperText(const PlistValue& value);
    // <0, 0, >0 like strcmp, ignoring letter case and diacritics.
    static int compareTitles(const std::string& a, const std::string& b);
};

}  // namespace pagewell
