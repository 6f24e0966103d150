#include "app/SettingsList.h"

#include <unicode/coll.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/AppSettings.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "app/SettingsPlaceholders.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

std::string member(const PlistDict& dictionary, const char* name) {
    auto found = dictionary.find(name);
    return found == dictionary.end() ? std::string() : found->second.stringValue();
}

std::string titleOf(const PlistDict& dictionary, const SettingsList::Options& options) {
    const std::string key = member(dictionary, settings::kKeyMember);
    std::string alt = member(dictionary, settings::kAltMember);
    if (alt.empty()) {
        alt = key;
    }
    return options.title ? options.title(key, alt) : alt;
}

std::string plainText(const PlistValue& value) {
    if (value.isString()) {
        return value.stringValue();
    }
    if (value.isBool()) {
        return value.boolValue() ? "yes" : "no";
    }
    if (value.isInteger()) {
        return std::to_string(value.integerValue());
    }
    if (value.isReal()) {
        return fmt::format("{}", value.realValue());
    }
    return {};
}

SettingRow makeRow(const std::string& groupKey, const PlistDict& setting,
                   const SettingsList::Options& options) {
    SettingRow row;
    row.key = member(setting, settings::kKeyMember);
    row.title = titleOf(setting, options);
    row.kind = SettingRules::kindOf(setting);
    if (auto value = setting.find(settings::kValueMember); value != setting.end()) {
        row.value = value->second;
    }
    switch (row.kind) {
        case SettingRules::Kind::Switch: {
            bool on = row.value.boolValue(false);
            if (groupKey == settings::kTrackingGroup && row.key == settings::kTrackingEnabled &&
                options.trackingConsent) {
                on = options.trackingConsent().value_or(on);
            }
            row.valueText = on ? "on" : "off";
            break;
        }
        case SettingRules::Kind::Stepper:
            row.valueText = SettingsList::stepperText(row.value);
            break;
        case SettingRules::Kind::Text:
            row.valueText =
                SettingsPlaceholders::replace(plainText(row.value), options.currentLocaleTitle);
            break;
    }
    row.caption = SettingsPlaceholders::replace(member(setting, settings::kTextMember),
                                                options.currentLocaleTitle);
    return row;
}

SettingGroupRow makeGroup(const PlistDict& group, const SettingsList::Options& options) {
    SettingGroupRow result;
    result.key = member(group, settings::kKeyMember);
    result.title = titleOf(group, options);
    if (auto visible = group.find(settings::kVisibleMember); visible != group.end()) {
        result.visible = visible->second.boolValue(false);
    }
    if (auto list = group.find(settings::kSettingsMember);
        list != group.end() && list->second.array() != nullptr) {
        for (const PlistValue& setting : *list->second.array()) {
            if (setting.dict() != nullptr) {
                result.rows.push_back(makeRow(result.key, *setting.dict(), options));
            }
        }
    }
    return result;
}

// Primary strength compares base letters only: "Über" and "uber" are equal.
std::unique_ptr<icu::Collator> primaryCollator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !collator) {
        PW_LOG_WARNING("no collator for settings titles: {}", u_errorName(status));
        return nullptr;
    }
    collator->setStrength(icu::Collator::PRIMARY);
    return collator;
}

int compareWith(const icu::Collator* collator, const std::string& a, const std::string& b) {
    if (collator == nullptr) {
        return a.compare(b);
    }
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result =
        collator->compare(icu::UnicodeString::fromUTF8(a), icu::UnicodeString::fromUTF8(b), status);
    if (U_FAILURE(status)) {
        return a.compare(b);
    }
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

}  // namespace

SettingsList::Options SettingsList::defaultOptions() {
    Options options;
    options.showTrackingGroup = AppSettings::trackingOptInPromptEnabled();
    return options;
}

std::vector<SettingGroupRow> SettingsList::groups(const SettingsManager& settings,
                                                  const Options& options) {
    std::vector<SettingGroupRow> result;
    for (const PlistValue& group : settings.getSettingGroups()) {
        if (group.dict() == nullptr) {
            continue;
        }
        SettingGroupRow row = makeGroup(*group.dict(), options);
        if (!row.visible || (row.key == settings::kTrackingGroup && !options.showTrackingGroup)) {
            continue;
        }
        result.push_back(std::move(row));
    }
    auto collator = primaryCollator();
    std::stable_sort(result.begin(), result.end(),
                     [&](const SettingGroupRow& a, const SettingGroupRow& b) {
                         return compareWith(collator.get(), a.title, b.title) < 0;
                     });
    return result;
}

std::optional<SettingGroupRow> SettingsList::group(const SettingsManager& settings,
                                                   const std::string& key, const Options& options) {
    auto group = settings.getSettingsForGroup(key);
    if (!group) {
        return std::nullopt;
    }
    return makeGroup(*group, options);
}

std::string SettingsList::stepperText(const PlistValue& value) {
    return std::to_string(static_cast<int>(value.integerValue(0)));
}

int SettingsList::compareTitles(const std::string& a, const std::string& b) {
    auto collator = primaryCollator();
    return compareWith(collator.get(), a, b);
}

}  // namespace pagewell
