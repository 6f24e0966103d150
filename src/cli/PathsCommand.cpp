#include "cli/PathsCommand.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "app/AppSettings.h"
#include "app/SettingsManager.h"
#include "app/ShippedResources.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "platform/FileAreas.h"

namespace pagewell::cli {

int PathsCommand::run(const CommandContext& context) {
    context.application->configure();
    const FileAreas& areas = FileAreas::shared();
    const auto settingsFile = areas.documents() / SettingsManager::kLiveFileName;
    const auto config = AppSettings::settingsPath();
    std::error_code ec;
    const bool configReadable = std::filesystem::is_regular_file(config, ec);

    const std::pair<const char*, std::string> rows[] = {
        {"data", areas.dataDirectory().string()},
        {"documents", areas.documents().string()},
        {"temporary", areas.temporary().string()},
        {"caches", areas.caches().string()},
        {"logs", areas.logs().string()},
        {"settings", settingsFile.string()},
        {"userDefaults", areas.userDefaultsFile().string()},
        {"configuration", config.string() + (configReadable ? "" : " (missing)")},
        {"shippedData", ShippedResources::directory().string()},
    };
    nlohmann::json document = nlohmann::json::object();
    std::string text;
    for (const auto& [name, path] : rows) {
        text += fmt::format("{:<15}{}\n", std::string(name) + ":", path);
        document[name] = path;
    }
    document["configuration"] = config.string();
    document["configurationFound"] = configReadable;
    context.output.result(text, document);
    return kExitSuccess;
}

}  // namespace pagewell::cli
