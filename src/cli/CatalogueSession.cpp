#include "cli/CatalogueSession.h"

#include "app/LocaleManager.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "net/AccountManager.h"

namespace pagewell::cli {

int CatalogueSession::prepare(const CommandContext& context) {
    if (!context.startApplication()) {
        return kExitFailure;
    }
    if (const auto& storeError = context.application->storeError()) {
        context.output.failure("the store cannot be opened: " + storeError->description,
                               &*storeError);
        return kExitFailure;
    }
    if (!AccountManager::currentUser()) {
        context.output.failure("nobody is signed in; run `pagewell login` first");
        return kExitSignInNeeded;
    }
    // Resolves the user's stored choice into the current selection the queries read.
    if (!LocaleManager::shared().getCurrentLocale()) {
        context.output.failure("no content language is chosen; run `pagewell locale use ID`");
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli
