#include "cli/LocaleCommand.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/LocaleManager.h"
#include "cli/CatalogueSession.h"
#include "cli/CommandContext.h"
#include "cli/DataDirectoryGuard.h"
#include "cli/ExitCode.h"
#include "cli/TerminalText.h"
#include "platform/MainQueue.h"
#include "store/PersistentStore.h"

namespace pagewell::cli {

namespace {

constexpr std::chrono::minutes kServerWait{3};

nlohmann::json entryOf(const Locale& locale, bool current) {
    return {{"id", locale.cmsID.value_or(0)},
            {"title", locale.title.value_or("")},
            {"iso2", locale.iso2.value_or("")},
            {"current", current}};
}

}  // namespace

void LocaleCommand::add(CLI::App& parent, int& exitCode) {
    CLI::App* locale = parent.add_subcommand("locale", "Show and choose the content language");
    locale->require_subcommand(1);
    CLI::App* listCommand =
        locale->add_subcommand("list", "List your content languages; * marks the current one");
    listCommand->add_flag("--refresh", refresh_, "Fetch the languages from the server first");
    listCommand->callback([this, &exitCode] { exitCode = list(context_, refresh_); });
    CLI::App* useCommand = locale->add_subcommand("use", "Make a content language current");
    useCommand->add_option("ID", id_, "The language's id, as `locale list` shows it")->required();
    useCommand->callback([this, &exitCode] { exitCode = use(context_, id_); });
}

int LocaleCommand::list(const CommandContext& context, bool refresh) {
    std::optional<DataDirectoryGuard> guard;
    if (refresh) {
        // A fetch writes the languages into the store.
        guard.emplace(context);
        if (!guard->acquired()) {
            return guard->exitCode();
        }
    }
    if (int prepared = CatalogueSession::prepareSignedIn(context); prepared != kExitSuccess) {
        return prepared;
    }
    LocaleManager& manager = LocaleManager::shared();
    if (refresh) {
        auto failure = std::make_shared<std::optional<std::optional<Error>>>();
        manager.getLocaleWithCompletionBlock(
            [failure] { *failure = std::optional<Error>(); },
            [failure](const Error& error) { *failure = std::optional<Error>(error); });
        MainQueue::shared().runUntil([failure] { return failure->has_value(); }, kServerWait);
        if (!failure->has_value() || failure->value()) {
            Error error = failure->has_value()
                              ? *failure->value()
                              : Error::make(kAppErrorDomain, -1, "The server did not answer.");
            context.output.failure("cannot fetch the languages: " + error.description, &error);
            return kExitFailure;
        }
    }
    auto locales = LocaleManager::localesOfCurrentUser(PersistentStore::shared()->mainContext());
    if (!locales.ok()) {
        context.output.failure(locales.error().description, &locales.error());
        return kExitFailure;
    }
    std::optional<Locale> current = manager.getCurrentLocale();
    nlohmann::json document = nlohmann::json::array();
    std::string text;
    for (const Locale& locale : locales.value()) {
        bool isCurrent = current && current->pk == locale.pk;
        document.push_back(entryOf(locale, isCurrent));
        text += fmt::format("{} {:>4}  {} ({})\n", isCurrent ? "*" : " ", locale.cmsID.value_or(0),
                            TerminalText::escape(locale.title.value_or("")),
                            TerminalText::escape(locale.iso2.value_or("")));
    }
    if (locales.value().empty()) {
        text = "No content language is assigned to you.\n";
    }
    context.output.result(text, document);
    return kExitSuccess;
}

int LocaleCommand::use(const CommandContext& context, std::int64_t id) {
    DataDirectoryGuard guard(context);
    if (!guard.acquired()) {
        return guard.exitCode();
    }
    if (int prepared = CatalogueSession::prepareSignedIn(context); prepared != kExitSuccess) {
        return prepared;
    }
    auto locales = LocaleManager::localesOfCurrentUser(PersistentStore::shared()->mainContext());
    if (!locales.ok()) {
        context.output.failure(locales.error().description, &locales.error());
        return kExitFailure;
    }
    for (const Locale& locale : locales.value()) {
        if (locale.cmsID == id) {
            LocaleManager::shared().setCurrentLocale(locale);
            context.output.result(fmt::format("Content language: {} ({})",
                                              TerminalText::escape(locale.title.value_or("")), id),
                                  entryOf(locale, true));
            return kExitSuccess;
        }
    }
    context.output.failure(fmt::format("you have no content language with id {}", id));
    return kExitFailure;
}

}  // namespace pagewell::cli
