#include "cli/StatusCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/AppSettings.h"
#include "app/LocaleManager.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/TerminalText.h"
#include "net/AccountManager.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "store/CurrentSelection.h"
#include "store/FileSizeText.h"
#include "store/Locale.h"
#include "store/PersistentStore.h"
#include "sync/CatalogueCounts.h"

namespace pagewell::cli {

namespace {

nlohmann::json currentLocale() {
    // Resolves the signed-in user's stored choice into CurrentSelection (or clears it).
    LocaleManager::shared().getCurrentLocale();
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    if (!store || !CurrentSelection::localeKey()) {
        return nullptr;
    }
    auto locale = Locale::find(store->mainContext(), *CurrentSelection::localeKey());
    if (!locale.ok() || !locale.value() || !locale.value()->cmsID) {
        return nullptr;
    }
    return {{"id", *locale.value()->cmsID}, {"title", locale.value()->title.value_or("")}};
}

// The catalogue of the signed-in user in the current language; null without either (call
// after currentLocale(), which resolves the language).
nlohmann::json catalogueCounts() {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    auto user = CurrentSelection::userKey();
    auto locale = CurrentSelection::localeKey();
    if (!store || !user || !locale) {
        return nullptr;
    }
    auto counts = CatalogueCounts::count(store->mainContext(), *user, *locale);
    if (!counts.ok()) {
        return nullptr;
    }
    const CatalogueCounts& c = counts.value();
    return {{"categories", c.categories},
            {"files", c.files},
            {"highlights", c.highlights},
            {"downloaded", c.downloaded},
            {"pendingDownloads", c.pendingDownloads},
            {"neededBytes", c.neededBytes}};
}

}  // namespace

void StatusCommand::add(CLI::App& parent, CommandContext& context, int& exitCode) {
    parent
        .add_subcommand("status",
                        "Show who is signed in, the session's end, offline mode and the server")
        ->callback([&context, &exitCode] { exitCode = run(context); });
}

std::string StatusCommand::iso8601(std::chrono::system_clock::time_point time) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

nlohmann::json StatusCommand::document() {
    LoginManager& login = LoginManager::shared();
    std::string user = AccountManager::currentUsername();
    std::optional<SystemTime> validUntil = login.sessionValidUntil();
    nlohmann::json document = {
        {"user", user.empty() ? nlohmann::json(nullptr) : nlohmann::json(user)},
        {"loggedIn", login.isLoggedIn()},
        {"sessionValidUntil",
         validUntil ? nlohmann::json(iso8601(*validUntil)) : nlohmann::json(nullptr)},
        {"offline", InterfaceManager::sharedInstance().isInOfflineMode()},
        {"server", AppSettings::cmsUrl().value_or("")},
        {"locale", currentLocale()},
    };
    document["counts"] = catalogueCounts();
    return document;
}

std::string StatusCommand::text(const nlohmann::json& document) {
    auto orNone = [](const nlohmann::json& value, const char* none) {
        return value.is_string() ? TerminalText::escape(value.get<std::string>())
                                 : std::string(none);
    };
    std::string text;
    text += fmt::format("{:<18}{}\n", "User:", orNone(document["user"], "(nobody)"));
    text +=
        fmt::format("{:<18}{}\n", "Signed in:", document["loggedIn"].get<bool>() ? "yes" : "no");
    std::string until = orNone(document["sessionValidUntil"], "-");
    if (document["sessionValidUntil"].is_string() && !document["loggedIn"].get<bool>()) {
        until += " (expired)";
    }
    text += fmt::format("{:<18}{}\n", "Session until:", until);
    text +=
        fmt::format("{:<18}{}\n", "Offline mode:", document["offline"].get<bool>() ? "on" : "off");
    std::string server = document["server"].get<std::string>();
    text += fmt::format("{:<18}{}\n", "Server:", server.empty() ? "(not configured)" : server);
    const nlohmann::json& locale = document["locale"];
    text += fmt::format(
        "{:<18}{}\n", "Content language:",
        locale.is_object()
            ? fmt::format("{} ({})", TerminalText::escape(locale["title"].get<std::string>()),
                          locale["id"].get<std::int64_t>())
            : std::string("(none chosen)"));
    const nlohmann::json& counts = document["counts"];
    if (counts.is_object()) {
        auto number = [&counts](const char* key) { return counts[key].get<std::int64_t>(); };
        text += "\nCatalogue\n";
        text += fmt::format("  {:<18}{}\n", "Categories:", number("categories"));
        text += fmt::format("  {:<18}{} ({} highlights)\n", "Files:", number("files"),
                            number("highlights"));
        text += fmt::format("  {:<18}{}\n", "Downloaded:", number("downloaded"));
        text += fmt::format(
            "  {:<18}{} ({})\n", "To download:", number("pendingDownloads"),
            FileSizeText::stringFromFileSize(counts["neededBytes"].get<std::uint64_t>()));
    }
    return text;
}

int StatusCommand::run(const CommandContext& context) {
    if (!context.startApplication()) {
        return kExitFailure;
    }
    nlohmann::json status = document();
    context.output.result(text(status), status);
    return kExitSuccess;
}

}  // namespace pagewell::cli
