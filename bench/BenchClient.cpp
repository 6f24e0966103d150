#include "BenchClient.h"

#include <cstdlib>
#include <optional>

#include "CmsProcess.h"
#include "app/AppSettings.h"
#include "app/AppWiring.h"
#include "app/LocaleManager.h"
#include "app/SettingsManager.h"
#include "app/ShippedResources.h"
#include "net/AccountManager.h"
#include "net/CatalogueRequests.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "platform/FileAreas.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"
#include "store/Locale.h"
#include "store/PersistentStore.h"
#include "store/StoreHooks.h"
#include "sync/DataImporter.h"
#include "sync/TimestampManager.h"

namespace pagewell::bench {

namespace {

constexpr const char* kDomain = "BenchClient";
constexpr std::int64_t kEnglish = 1;
// A full import of a large catalogue on a loaded machine takes a while; this only catches a
// sync that never ends.
constexpr std::chrono::minutes kPatience{10};

std::filesystem::path freshDirectory() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "pagewell-bench-client-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return pattern;
}

// The outcome of an operation with a completion / error pair.
struct Outcome {
    bool done = false;
    std::optional<Error> error;
};

Status finished(const Outcome& outcome, const char* what) {
    if (!outcome.done) {
        return Error::make(kDomain, 1, std::string(what) + " did not finish");
    }
    if (outcome.error) {
        return *outcome.error;
    }
    return {};
}

}  // namespace

bool BenchClient::pump(const std::function<bool()>& done) {
    return MainQueue::shared().runUntil(done, kPatience);
}

Result<std::unique_ptr<BenchClient>> BenchClient::signIn(const std::string& cmsUrl,
                                                         const std::string& user,
                                                         const std::string& password) {
    std::unique_ptr<BenchClient> client(new BenchClient());
    if (Status ready = client->setUp(cmsUrl); !ready.ok()) {
        return ready.error();
    }
    if (Status signedIn = client->login(user, password); !signedIn.ok()) {
        return signedIn.error();
    }
    if (Status chosen = client->chooseEnglish(); !chosen.ok()) {
        return chosen.error();
    }
    return client;
}

Status BenchClient::setUp(const std::string& cmsUrl) {
    directory_ = freshDirectory();
    if (directory_.empty()) {
        return Error::make(kDomain, 2, "no temporary directory");
    }
    MainQueue::setShared(nullptr);
    NotificationCenter::setShared(nullptr);
    auto areas = std::make_shared<FileAreas>(directory_ / "data");
    if (Status made = areas->createAll(); !made.ok()) {
        return made;
    }
    FileAreas::setShared(areas);
    UserDefaults::setShared(std::make_shared<UserDefaults>(areas->userDefaultsFile()));
    SettingsManager::setSharedInstance(nullptr);
    KeychainBridge::setShared(std::make_shared<KeychainBridge>(KeychainBridge::Backend::File,
                                                               directory_ / "keychain.json"));
    LocaleManager::setShared(nullptr);

    // The shipped configuration (change timestamps on, as the app ships), pointed at the server.
    auto shipped = PropertyList::readFile(ShippedResources::path("AppSettings.plist").string());
    if (!shipped.ok()) {
        return shipped.error();
    }
    PlistDict configuration = shipped.value().dict() ? *shipped.value().dict() : PlistDict{};
    configuration["CMSURL"] = cmsUrl;
    configuration["LoginSecret"] = CmsProcess::kAppSecret;
    const auto settings = directory_ / "AppSettings.plist";
    if (Status written = PropertyList::writeFile(settings.string(), PlistValue(configuration));
        !written.ok()) {
        return written;
    }
    AppSettings::_setSettingsPath(settings);

    auto store = PersistentStore::open(areas->dataDirectory() / "Library" / "Database" /
                                       PersistentStore::kFileName);
    if (!store.ok()) {
        return store.error();
    }
    store_ = store.value();
    PersistentStore::setShared(store_);

    manager_ = std::make_shared<InterfaceManager>(InterfaceManager::defaultBaseURL());
    InterfaceManager::setShared(manager_);
    EndpointDelegates::shared().reset();
    AppWiring::install();
    timestamps_ = AppWiring::timestampManager();
    return {};
}

Status BenchClient::login(const std::string& user, const std::string& password) {
    auto outcome = std::make_shared<Outcome>();
    auto token = std::make_shared<std::optional<std::string>>();
    manager_->getTokenWithUsername(
        user, password,
        [outcome, token](std::optional<std::string> received, std::optional<std::string>) {
            outcome->done = true;
            *token = std::move(received);
        },
        [outcome](const Error& error) {
            outcome->done = true;
            outcome->error = error;
        });
    pump([&] { return outcome->done; });
    if (Status status = finished(*outcome, "sign-in"); !status.ok()) {
        return status;
    }
    if (!*token) {
        return Error::make(kDomain, 3, "the server refused the sign-in");
    }
    return {};
}

Status BenchClient::chooseEnglish() {
    auto outcome = std::make_shared<Outcome>();
    CatalogueRequests(*manager_).getAllLocales([outcome] { outcome->done = true; },
                                               [outcome](const Error& error) {
                                                   outcome->done = true;
                                                   outcome->error = error;
                                               });
    pump([&] { return outcome->done; });
    if (Status status = finished(*outcome, "language list"); !status.ok()) {
        return status;
    }
    auto english = Locale::findWithCmsID(store_->mainContext(), kEnglish);
    if (!english.ok() || !english.value()) {
        return Error::make(kDomain, 4, "no English content");
    }
    LocaleManager::shared().setCurrentLocale(english.value());
    return {};
}

Status BenchClient::syncCatalogue() {
    auto outcome = std::make_shared<Outcome>();
    CatalogueRequests(*manager_).getAllFilesForSync([outcome] { outcome->done = true; },
                                                    [](double) {},
                                                    [outcome](const Error& error) {
                                                        outcome->done = true;
                                                        outcome->error = error;
                                                    });
    pump([&] { return outcome->done; });
    return finished(*outcome, "catalogue sync");
}

std::string BenchClient::token() const {
    return KeychainBridge::shared().token();
}

BenchClient::~BenchClient() {
    MainQueue::shared().poll();
    EndpointDelegates::shared().reset();
    StoreHooks::setCategoryTimestamps(nullptr);
    DataImporter::setShared(nullptr);
    InterfaceManager::setShared(nullptr);
    manager_.reset();
    MainQueue::shared().poll();
    AccountManager::_forgetKeptUser();
    LocaleManager::setShared(nullptr);
    CurrentSelection::clear();
    PersistentStore::setShared(nullptr);
    store_.reset();
    KeychainBridge::setShared(nullptr);
    SettingsManager::setSharedInstance(nullptr);
    UserDefaults::setShared(nullptr);
    FileAreas::setShared(nullptr);
    AppSettings::_setSettingsPath({});
    NotificationCenter::setShared(nullptr);
    MainQueue::setShared(nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

}  // namespace pagewell::bench
