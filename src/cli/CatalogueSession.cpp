#include "cli/CatalogueSession.h"

#include "app/LocaleManager.h"
#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "net/AccountManager.h"

namespace pagewell::cli {

int CatalogueSession::prepareSignedIn(const CommandContext& context) {
    if (!context.openStore()) {
        return kExitFailure;
    }
    if (!AccountManager::currentUser()) {
        context.output.failure("nobody is signed in; run `pagewell login` first");
        return kExitSignInNeeded;
    }
    return kExitSuccess;
}

int CatalogueSession::prepare(const CommandContext& context) {
    if (int signedIn = prepareSignedIn(context); signedIn != kExitSuccess) {
        return signedIn;
    }
    // Resolves the user's stored choice into the current selection the queries read.
    if (!LocaleManager::shared().getCurrentLocale()) {
        context.output.failure("no content language is chosen; run `pagewell locale use ID`");
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace pagewell::cli
