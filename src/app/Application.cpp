#include "app/Application.h"

#include "app/AppSettings.h"
#include "app/AppWiring.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "diag/AFNetworkLumberjackLogger.h"
#include "diag/LogSetup.h"
#include "platform/FileAreas.h"
#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "store/PersistentStore.h"
#include "sync/CustomMigrations.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

Application::Application(ApplicationOptions options) : options_(std::move(options)) {
    installDefaultSteps();
}

void Application::configure() {
    if (configured_) {
        return;
    }
    FileAreas::setShared(
        std::make_shared<FileAreas>(FileAreas::resolveDataDirectory(options_.dataDirectory)));
    AppSettings::_setSettingsPath(AppSettings::resolveSettingsPath(options_.configPath));
    configured_ = true;
}

Status Application::start() {
    configure();
    const FileAreas& areas = FileAreas::shared();
    if (Status created = areas.createAll(); !created.ok()) {
        return Error::make(created.error().domain, created.error().code,
                           "cannot use the data directory " + areas.dataDirectory().string() +
                               " (" + created.error().description + ")");
    }
    return startup_.run();
}

void Application::installDefaultSteps() {
    startup_.setStep(StartupStep::Logging, [this] {
        LogSetup::shared().initLogger({FileAreas::shared().logs(), options_.verbose});
        PW_LOG_INFO("pagewell {} starting, data directory {}", PAGEWELL_VERSION,
                    FileAreas::shared().dataDirectory().string());
        return Status{};
    });
    startup_.setStep(StartupStep::NotificationRegistration, [] {
        // The protected-data state follows the platform's notifications from here on.
        auto& center = NotificationCenter::shared();
        center.addObserver(kProtectedDataDidBecomeAvailable, [](const Notification&) {
            VXProtectedFileManager::sharedInstance().setProtectedDataAvailable(true);
        });
        center.addObserver(kProtectedDataWillBecomeUnavailable, [](const Notification&) {
            VXProtectedFileManager::sharedInstance().setProtectedDataAvailable(false);
        });
        return Status{};
    });
    startup_.setStep(StartupStep::Store, [this] {
        // A store that cannot be opened does not stop the app: settings and diagnostics still
        // work, and whatever needs the catalogue reports storeError().
        auto store = PersistentStore::open(PersistentStore::defaultPath());
        if (!store.ok()) {
            PW_LOG_ERROR_VALUE(store.error());
            storeError_ = store.error();
            return Status{};
        }
        PersistentStore::setShared(store.value());
        return Status{};
    });
    startup_.setStep(StartupStep::Settings, [] {
        // Opening never fails: a damaged file is logged by the settings store and reported
        // by whoever reads or writes a setting.
        SettingsManager::sharedInstance();
        return Status{};
    });
    startup_.setStep(StartupStep::HttpTrafficLog, [] {
        auto logger = AFNetworkLumberjackLogger::sharedLogger();
        logger->startLogging();
        logger->setLevel(httpTrafficLevelFromSettings());
        return Status{};
    });
    startup_.setStep(StartupStep::Migrations, [] {
        // One-time repairs of the store and the user defaults; each records its own flag and
        // reports nothing, so start-up goes on whatever they find.
        CustomMigrations::performMigrations();
        return Status{};
    });
    startup_.setStep(StartupStep::MainWindow, [] {
        // The request layer reaches the timestamps, the content language and the language
        // selection from here on.
        AppWiring::install();
        return Status{};
    });
}

int Application::httpTrafficLevelFromSettings() {
    auto value = SettingsManager::sharedInstance().getSettingInGroup(settings::kLogGroup,
                                                                     settings::kLogHttpTraffic);
    return value && value->boolValue() ? AFNetworkLumberjackLogger::kLevelFull
                                       : AFNetworkLumberjackLogger::kLevelOff;
}

void Application::applySettingChange(const std::string& group, const std::string& key) {
    if (group == settings::kLogGroup && key == settings::kLogHttpTraffic) {
        AFNetworkLumberjackLogger::sharedLogger()->setLevel(httpTrafficLevelFromSettings());
    }
}

}  // namespace pagewell
