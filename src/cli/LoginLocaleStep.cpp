#include "cli/LoginLocaleStep.h"

#include <chrono>
#include <memory>
#include <optional>

#include "app/ContentLanguageStep.h"
#include "app/LocaleManager.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "cli/TerminalText.h"
#include "platform/MainQueue.h"

namespace pagewell::cli {

int LoginLocaleStep::run(const CommandContext& context) {
    using Outcome = ContentLanguageStep::Outcome;
    auto outcome = std::make_shared<std::optional<Outcome>>();
    ContentLanguageStep::showLocaleView([outcome](Outcome value) { *outcome = value; });
    MainQueue::shared().runUntil([outcome] { return outcome->has_value(); },
                                 std::chrono::minutes(3));
    switch (outcome->value_or(Outcome::Declined)) {
        case Outcome::NoLanguages:
            context.output.failure("no content language is assigned to you; signed out");
            return kExitSignInNeeded;
        case Outcome::NotChosen:
            context.output.note("No content language chosen; `pagewell locale use ID` sets one.");
            return kExitSuccess;
        case Outcome::Declined:
            context.output.note("The content languages could not be fetched.");
            return kExitSuccess;
        case Outcome::Kept:
        case Outcome::Chosen:
            break;
    }
    if (auto current = LocaleManager::shared().getCurrentLocale()) {
        context.output.note(
            "Content language: " + TerminalText::escape(current->title.value_or("")) + " (" +
            std::to_string(current->cmsID.value_or(0)) + ")");
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli
