#pragma once
// What a user may set from outside the settings screen (the command line), checked against
// the settings the store holds: switches take a yes/no word, steppers a whole number inside
// their range, stored as a floating-point number the way the settings screen stores it.
// Informational and action rows (every other ui type) cannot be set: their values are
// placeholders filled in when shown, and the actions behind them are commands of their own.
// Stateless; safe from any thread.

#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace pagewell {

class SettingsManager;

class SettingRules {
  public:
    enum class Kind { Switch, Stepper, Text };

    struct StepperRange {
        int minimum = 0;
        int maximum = 0;
    };

    // The kind a setting dictionary's "uitype" gives it.
    static Kind kindOf(const PlistDict& setting);
    // 1 to 30 for "UNREAD_SHARE_LINKS_DAYS", 5 to 120 for every other stepper.
    static StepperRange stepperRange(const std::string& key);
    // "true/false/yes/no/on/off/1/0", in any letter case.
    static Result<bool> parseSwitch(std::string_view text);
    // The value to store for `text` in setting (group, key), or why it cannot be stored.
    static Result<PlistValue> validate(const SettingsManager& settings, const std::string& group,
                                       const std::string& key, std::string_view text);

    static constexpr const char* kErrorDomain = "SettingsErrorDomain";
    enum ErrorCode : int {
        kUnknownGroup = 10,
        kUnknownSetting = 11,
        kNotSettable = 12,
        kBadValue = 13,
        kOutOfRange = 14
    };
};

}  // namespace pagewell
