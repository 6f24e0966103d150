#include "app/SettingRules.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "app/SettingKeys.h"
#include "app/SettingsManager.h"

namespace pagewell {

namespace {

std::string_view trimmed(std::string_view text) {
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

}  // namespace

SettingRules::Kind SettingRules::kindOf(const PlistDict& setting) {
    auto uiType = setting.find(settings::kUiTypeMember);
    if (uiType == setting.end() || !uiType->second.isString()) {
        return Kind::Text;
    }
    const std::string type = uiType->second.stringValue();
    if (type == settings::kSwitchUiType) {
        return Kind::Switch;
    }
    if (type == settings::kStepperUiType) {
        return Kind::Stepper;
    }
    return Kind::Text;
}

SettingRules::StepperRange SettingRules::stepperRange(const std::string& key) {
    if (key == settings::kUnreadShareLinksDays) {
        return {1, 30};
    }
    return {5, 120};
}

Result<bool> SettingRules::parseSwitch(std::string_view text) {
    const std::string word = lowered(trimmed(text));
    for (const char* yes : {"true", "yes", "on", "1"}) {
        if (word == yes) {
            return true;
        }
    }
    for (const char* no : {"false", "no", "off", "0"}) {
        if (word == no) {
            return false;
        }
    }
    return Error::make(kErrorDomain, kBadValue,
                       "\"" + std::string(text) + "\" is not one of true/false/yes/no/on/off/1/0");
}

Result<PlistValue> SettingRules::validate(const SettingsManager& settings, const std::string& group,
                                          const std::string& key, std::string_view text) {
    if (!settings.getSettingsForGroup(group)) {
        return Error::make(kErrorDomain, kUnknownGroup, "unknown settings group \"" + group + "\"");
    }
    auto setting = settings.getSettingDictionary(group, key);
    if (!setting) {
        return Error::make(kErrorDomain, kUnknownSetting,
                           "no setting \"" + key + "\" in group \"" + group + "\"");
    }
    switch (kindOf(*setting)) {
        case Kind::Switch: {
            auto on = parseSwitch(text);
            if (!on.ok()) {
                return Error::make(kErrorDomain, kBadValue, key + ": " + on.error().description);
            }
            return PlistValue(on.value());
        }
        case Kind::Stepper: {
            const StepperRange range = stepperRange(key);
            const std::string_view digits = trimmed(text);
            int number = 0;
            auto [end, failure] =
                std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (digits.empty() || failure != std::errc() || end != digits.data() + digits.size()) {
                return Error::make(
                    kErrorDomain, kBadValue,
                    key + ": \"" + std::string(text) +
                        "\" is not a whole number (allowed: " + std::to_string(range.minimum) +
                        " to " + std::to_string(range.maximum) + ")");
            }
            if (number < range.minimum || number > range.maximum) {
                return Error::make(
                    kErrorDomain, kOutOfRange,
                    key + ": " + std::to_string(number) + " is outside the allowed range " +
                        std::to_string(range.minimum) + " to " + std::to_string(range.maximum));
            }
            return PlistValue(static_cast<double>(number));
        }
        case Kind::Text:
            break;
    }
    return Error::make(
        kErrorDomain, kNotSettable,
        key + " in group " + group + " is an informational or action row and cannot be set");
}

}  // namespace pagewell
