#include "app/AppWiring.h"

#include <mutex>

#include "app/AppSettings.h"
#include "app/LanguageSwitcher.h"
#include "app/LocaleManager.h"
#include "app/LocaleViewController.h"
#include "app/ShippedResources.h"
#include "net/AccountManager.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/LoginManager.h"
#include "platform/FileAreas.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/PersistentStore.h"
#include "store/StoreHooks.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/FileDownloadOperation.h"
#include "sync/RedliningSetFiles.h"
#include "sync/SyncManager.h"
#include "sync/TimestampManager.h"
#include "tracking/EventLogAnalyticsClient.h"
#include "tracking/TrackEvent.h"
#include "tracking/TrackingManager.h"
#include "tracking/TrackingOptInHelper.h"

namespace pagewell {

namespace {

std::mutex& wiringMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<TimestampManager>& installedTimestamps() {
    static std::shared_ptr<TimestampManager> manager;
    return manager;
}

}  // namespace

void AppWiring::install() {
    TimestampManager::Sources sources;
    sources.currentUserName = []() -> std::optional<std::string> {
        if (auto kept = CurrentSelection::userName()) {
            return kept;
        }
        std::string name = AccountManager::currentUsername();
        if (name.empty()) {
            return std::nullopt;
        }
        return name;
    };
    // The stored choice: readable from any thread (a category deletion on a background
    // context reaches the timestamps), and a choice the user no longer holds never reaches a
    // request, which asks for the language first.
    sources.currentLocaleID = []() -> std::optional<std::string> {
        auto stored = LocaleManager::shared().storedLocaleID();
        if (!stored) {
            return std::nullopt;
        }
        return std::to_string(*stored);
    };
    sources.timestampSyncEnabled = [] { return AppSettings::timestampSyncEnabled(); };
    auto timestamps = std::make_shared<TimestampManager>(std::move(sources));
    StoreHooks::setCategoryTimestamps(timestamps);
    StoreHooks::setAnnotationSets(std::make_shared<RedliningSetFiles>());
    EndpointDelegates::shared().setTimestamps(
        std::make_shared<ChangeTimestampsAdapter>(timestamps));
    EndpointDelegates::shared().setLocaleSource(LocaleManager::sharedPointer());
    if (!EndpointDelegates::shared().importer()) {
        auto importer = std::make_shared<DataImporter>(timestamps);
        DataImporter::setShared(importer);
        EndpointDelegates::shared().setImporter(importer);
    }
    {
        std::lock_guard lock(wiringMutex());
        installedTimestamps() = timestamps;
    }

    InterfaceManager& interface = InterfaceManager::sharedInstance();
    InterfaceManager::Hooks hooks = interface.hooks();
    hooks.showLocaleSelection = [](std::function<void()> done,
                                   InterfaceManager::ErrorCallback error) {
        runLocaleSelection(std::move(done), std::move(error));
    };
    hooks.sendUnsyncedReadConfirmations = [] {
        SyncManager::sharedInstance().sendReadConfirmationForUnsyncedFiles();
    };
    interface.setHooks(std::move(hooks));

    installSyncHooks();
    installTracking();

    // The interface speaks the current content language from the start.
    if (std::optional<Locale> current = LocaleManager::shared().getCurrentLocale();
        current && current->iso2) {
        LanguageSwitcher::shared().setLanguage(*current->iso2);
    }
}

void AppWiring::installSyncHooks() {
    // A logout and a language switch both end what the sync manager is doing; the manager is
    // looked up when they happen, so a replaced one (tests) is the one stopped.
    LoginManager::Hooks login = LoginManager::shared().hooks();
    login.stopSynchronisation = [] { SyncManager::sharedInstance().stop(); };
    LoginManager::shared().setHooks(std::move(login));

    LocaleManager::Hooks locale;
    locale.isSynchronising = [] { return SyncManager::sharedInstance().isSyncActive(); };
    locale.stopSynchronisation = [] { SyncManager::sharedInstance().stop(); };
    LocaleManager::shared().setHooks(std::move(locale));

    // Download errors, row labels and the sync screen's questions speak the interface language.
    FileDownloadOperation::Environment environment = FileDownloadOperation::sharedEnvironment();
    environment.localizedText = [](std::string_view key, std::string_view fallback) {
        return LanguageSwitcher::localized(std::string(key), std::string(fallback));
    };
    FileDownloadOperation::setSharedEnvironment(std::move(environment));

    SyncManager& sync = SyncManager::sharedInstance();
    SyncManager::Hooks hooks = sync.hooks();
    hooks.removeCurrentLocale = [] { LocaleManager::shared().removeCurrentLocale(); };
    sync.setHooks(std::move(hooks));
}

void AppWiring::installTracking() {
    TrackingManager& tracking = TrackingManager::sharedInstance();
    tracking.configure(
        std::make_shared<EventLogAnalyticsClient>(FileAreas::shared().logs().parent_path() /
                                                  "Tracking" / "events.jsonl"),
        [] { return TrackingOptInHelper(UserDefaults::shared()).trackingAccepted(); },
        [] {
            std::optional<Locale> current = LocaleManager::shared().getCurrentLocale();
            return current && current->title ? *current->title : std::string();
        },
        TrackingManager::hasFirebaseConfig(ShippedResources::directory()));
    // The manager lives for the whole process: the registry holds it without owning it.
    EndpointDelegates::shared().setTracking(
        std::shared_ptr<TrackingConfiguring>(std::shared_ptr<void>(), &tracking));

    auto track = [](int type, const std::string& label, const std::string& screen) {
        TrackEvent(type, label, std::nullopt, screen).track();
    };
    LoginManager::Hooks login = LoginManager::shared().hooks();
    login.trackEvent = track;
    LoginManager::shared().setHooks(std::move(login));
    SyncManager::Hooks sync = SyncManager::sharedInstance().hooks();
    sync.trackEvent = track;
    SyncManager::sharedInstance().setHooks(std::move(sync));
}

void AppWiring::runLocaleSelection(std::function<void()> done,
                                   std::function<void(const Error&)> error) {
    auto manager = LocaleManager::sharedPointer();
    manager->getLocaleWithCompletionBlock(
        [manager, done] {
            auto controller = std::make_shared<LocaleViewController>(manager);
            if (auto store = PersistentStore::shared()) {
                // A failed read leaves no rows: the chooser closes without a choice.
                (void)controller->loadRows(store->mainContext());
            }
            controller->present([done](bool) { done(); });
        },
        std::move(error));
}

std::shared_ptr<TimestampManager> AppWiring::timestampManager() {
    std::lock_guard lock(wiringMutex());
    return installedTimestamps();
}

}  // namespace pagewell
