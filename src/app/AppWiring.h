#pragma once
// Connects the request layer to the modules built on top of it, once per process at start:
// the change timestamps (per user and content language), the content-language source of the
// catalogue requests, and the language selection an operation runs when no language is chosen.
//
// Threading: main thread only.

#include <functional>
#include <memory>

#include "platform/Error.h"

namespace pagewell {

class TimestampManager;

class AppWiring {
  public:
    // Creates the TimestampManager (user from AccountManager, language from LocaleManager, the
    // "TimestampSyncEnabled" switch from AppSettings) and registers it with the store's
    // category hook and the endpoint registry; registers LocaleManager::shared() as the
    // current-language source; registers the catalogue importer (DataImporter) when no importer
    // is registered yet; sets InterfaceManager's showLocaleSelection hook to
    // runLocaleSelection, keeping its other hooks; switches the interface language to the
    // current content language's "iso2", when there is one. Calling it again replaces what it
    // registered.
    static void install();

    // Connects the sync manager with the modules around it (part of install()): a logout and a
    // language switch stop it, the language switch asks whether it runs, the request layer's
    // read-confirmation resend (offline mode switched off, server reachable again) runs it, and
    // erasing the data forgets the current language. Other hooks of the sync manager are kept.
    static void installSyncHooks();

    // Connects usage tracking (part of install()): the process-wide tracking manager records
    // into the owner-only event log "Library/Tracking/events.jsonl", asks the stored consent
    // before each event, takes the current content language's title as the document events'
    // category and receives the server's tracking configuration; the login manager's and the
    // sync manager's usage events go to it. Touches neither the network nor the files until an
    // event is recorded.
    static void installTracking();
    // The selection an operation without a current language runs: fetch the languages, then the
    // chooser (one language: taken at once); `done` after a choice or a cancel, `error` when the
    // fetch fails.
    static void runLocaleSelection(std::function<void()> done,
                                   std::function<void(const Error&)> error);

    // The manager install() registered last; nullptr before.
    static std::shared_ptr<TimestampManager> timestampManager();
};

}  // namespace pagewell
