#include "cli/SettingsCommand.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/SettingRules.h"
#include "app/SettingsList.h"
#include "app/SettingsManager.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/JsonValue.h"

namespace pagewell::cli {

namespace {

const char* kindName(SettingRules::Kind kind) {
    switch (kind) {
        case SettingRules::Kind::Switch:
            return "switch";
        case SettingRules::Kind::Stepper:
            return "stepper";
        case SettingRules::Kind::Text:
            return "text";
    }
    return "text";
}

// The value alone, the way a script wants it: true/false, a whole number, or text.
std::string plainValue(SettingRules::Kind kind, const PlistValue& value) {
    if (kind == SettingRules::Kind::Switch || value.isBool()) {
        return value.boolValue() ? "true" : "false";
    }
    if (kind == SettingRules::Kind::Stepper) {
        return SettingsList::stepperText(value);
    }
    if (value.isNumber()) {
        double number = value.realValue();
        if (std::floor(number) == number) {
            return std::to_string(value.integerValue());
        }
        return fmt::format("{}", number);
    }
    return value.stringValue();
}

// Fails the command when the settings could not be loaded: an empty list would look like a
// user with no settings.
bool ensureLoaded(const CommandContext& context, const SettingsManager& settings) {
    if (auto error = settings.loadError()) {
        context.output.failure("the settings cannot be read: " + error->description + " (file " +
                                   settings.livePath().string() + ")",
                               &*error);
        return false;
    }
    return true;
}

}  // namespace

void SettingsCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* settings = parent.add_subcommand("settings", "Show and change the user settings");
    settings->require_subcommand(1);

    CLI::App* listCommand = settings->add_subcommand("list", "List the settings, group by group");
    listCommand->callback([this, &exitCode] { exitCode = list(context_); });

    CLI::App* getCommand = settings->add_subcommand("get", "Print one setting's value");
    getCommand->add_option("GROUP", group_, "Setting group, e.g. SYNC_SETTINGS")->required();
    getCommand->add_option("KEY", key_, "Setting key, e.g. SYNC_INTERVAL")->required();
    getCommand->callback([this, &exitCode] { exitCode = get(context_, group_, key_); });

    CLI::App* setCommand = settings->add_subcommand("set", "Change a switch or a stepper");
    setCommand->add_option("GROUP", group_, "Setting group")->required();
    setCommand->add_option("KEY", key_, "Setting key")->required();
    setCommand->add_option("VALUE", value_, "true/false for a switch, a whole number for a stepper")
        ->required();
    setCommand->callback([this, &exitCode] { exitCode = set(context_, group_, key_, value_); });
}

int SettingsCommand::list(const CommandContext& context) {
    if (!context.startApplication()) {
        return kExitFailure;
    }
    const SettingsManager& settings = SettingsManager::sharedInstance();
    if (!ensureLoaded(context, settings)) {
        return kExitFailure;
    }
    auto groups = SettingsList::groups(settings, SettingsList::defaultOptions());

    nlohmann::json document = {{"groups", nlohmann::json::array()}};
    std::string text;
    for (const auto& group : groups) {
        nlohmann::json rows = nlohmann::json::array();
        text += fmt::format("{} ({})\n", group.title, group.key);
        std::vector<std::string> shown;
        std::size_t keyWidth = 0;
        std::size_t valueWidth = 0;
        for (const auto& row : group.rows) {
            shown.push_back(row.kind == SettingRules::Kind::Text ? row.valueText
                                                                 : plainValue(row.kind, row.value));
            keyWidth = std::max(keyWidth, row.key.size());
            valueWidth = std::max(valueWidth, shown.back().size());
        }
        for (std::size_t i = 0; i < group.rows.size(); ++i) {
            const auto& row = group.rows[i];
            text += fmt::format("  {:<{}}  {:<{}}  {}\n", row.key, keyWidth, shown[i], valueWidth,
                                row.title);
            rows.push_back({{"key", row.key},
                            {"title", row.title},
                            {"type", kindName(row.kind)},
                            {"value", toJson(row.value)},
                            {"shown", row.valueText}});
        }
        document["groups"].push_back(
            {{"key", group.key}, {"title", group.title}, {"settings", rows}});
    }
    context.output.result(text, document);
    return kExitSuccess;
}

int SettingsCommand::get(const CommandContext& context, const std::string& group,
                         const std::string& key) {
    if (!context.startApplication()) {
        return kExitFailure;
    }
    const SettingsManager& settings = SettingsManager::sharedInstance();
    if (!ensureLoaded(context, settings)) {
        return kExitFailure;
    }
    auto setting = settings.getSettingDictionary(group, key);
    auto value = settings.getSettingInGroup(group, key);
    if (!setting || !value) {
        context.output.failure("there is no setting " + key + " in group " + group +
                               " (see `pagewell settings list`)");
        return kExitFailure;
    }
    auto kind = SettingRules::kindOf(*setting);
    context.output.result(
        plainValue(kind, *value),
        {{"group", group}, {"key", key}, {"type", kindName(kind)}, {"value", toJson(*value)}});
    return kExitSuccess;
}

int SettingsCommand::set(const CommandContext& context, const std::string& group,
                         const std::string& key, const std::string& text) {
    context.application->configure();
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (!context.startApplication()) {
        return kExitFailure;
    }
    SettingsManager& settings = SettingsManager::sharedInstance();
    if (!ensureLoaded(context, settings)) {
        return kExitFailure;
    }
    auto value = SettingRules::validate(settings, group, key, text);
    if (!value.ok()) {
        context.output.failure(value.error().description, &value.error());
        return kExitFailure;
    }
    if (Status written = settings.writeSettingInGroup(group, key, value.value()); !written.ok()) {
        context.output.failure("the setting was not changed: " + written.error().description,
                               &written.error());
        return kExitFailure;
    }
    Application::applySettingChange(group, key);
    auto setting = settings.getSettingDictionary(group, key);
    auto kind = setting ? SettingRules::kindOf(*setting) : SettingRules::Kind::Text;
    context.output.result(fmt::format("{} {} = {}", group, key, plainValue(kind, value.value())),
                          {{"group", group},
                           {"key", key},
                           {"type", kindName(kind)},
                           {"value", toJson(value.value())}});
    return kExitSuccess;
}

}  // namespace pagewell::cli
