#pragma once
// What the catalogue commands (downloads, download, delete) need before they look at the
// store: the application started, the store open, somebody signed in and a content language
// chosen, so that the current user and locale select the catalogue rows. Each missing piece is
// reported with the exit code the shell sees (1 store, 4 sign-in, 1 no language).

namespace pagewell::cli {

struct CommandContext;

class CatalogueSession {
  public:
    // kExitSuccess when the store is open and somebody is signed in.
    static int prepareSignedIn(const CommandContext& context);
    // kExitSuccess when the catalogue of the current user and language can be read.
    static int prepare(const CommandContext& context);
};

}  // namespace pagewell::cli
