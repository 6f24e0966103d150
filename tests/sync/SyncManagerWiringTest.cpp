// The sync manager as the application wires it: a logout stops its downloads, switching
// offline mode off resends the read confirmations given offline, a language switch asks
// whether it runs, and erasing the data forgets the current language.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppWiring.h"
#include "app/LocaleManager.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManagerFixture.h"
#include "net/LoginManager.h"
#include "platform/AsyncOperation.h"
#include "store/Database.h"
#include "store/File.h"
#include "store/StoreHooks.h"
#include "sync/DataImporter.h"
#include "sync/SyncManager.h"

namespace pagewell::test {
namespace {

// A download that only ends when it is cancelled, with its completion, as the real one does.
class EndlessDownload final : public AsyncOperation {
  public:
    explicit EndlessDownload(SyncManager::Done completion) : completion_(std::move(completion)) {}

  protected:
    void main() override {}
    void onCancel() override {
        completion_();
        finish();
    }

  private:
    SyncManager::Done completion_;
};

class SyncManagerWiringTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        InterfaceManager::setShared(std::make_shared<InterfaceManager>("http://127.0.0.1:1/api2"));
        SyncManager::Services services;
        services.makeDownloadOperation = [](std::int64_t, SyncManager::Done completion,
                                            SyncManager::Progress, SyncManager::ErrorCallback) {
            return std::make_shared<EndlessDownload>(std::move(completion));
        };
        services.sendReadConfirmation = [this](const File& file, SyncManager::Done completion,
                                               SyncManager::ErrorCallback) {
            confirmed_.push_back(file.title.value_or(""));
            completion();
        };
        sync_ = std::make_shared<SyncManager>(std::move(services));
        SyncManager::setShared(sync_);
        AppWiring::install();
    }

    void TearDown() override {
        SyncManager::setShared(nullptr);
        sync_.reset();
        LoginManager::setShared(nullptr);
        LocaleManager::setShared(nullptr);
        StoreHooks::setCategoryTimestamps(nullptr);
        EndpointDelegates::shared().reset();
        DataImporter::setShared(nullptr);
        InterfaceManagerFixture::TearDown();
    }

    std::shared_ptr<SyncManager> sync_;
    std::vector<std::string> confirmed_;
};

TEST_F(SyncManagerWiringTest, ALogoutOrALanguageSwitchStopsTheDownloads) {
    struct Case {
        const char* why;
        std::function<void()> act;
    };
    Locale german;
    german.pk = 42;
    german.cmsID = 2;
    german.iso2 = "de";
    const Case cases[] = {
        {"logout", [] { LoginManager::shared().logout(); }},
        {"language switch", [&] { LocaleManager::shared().setCurrentLocale(german); }},
    };
    CurrentSelection::setUser(std::nullopt, "alice");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        int completions = 0;
        sync_->downloadFileWithID(
            7, [&] { ++completions; }, nullptr, nullptr);
        ASSERT_TRUE(sync_->isActive());

        c.act();
        EXPECT_FALSE(sync_->isActive());
        EXPECT_FALSE(sync_->isInDownloadQueueWithFileID(7));
        ASSERT_TRUE(pump([&] { return completions == 1; }));
    }
}

TEST_F(SyncManagerWiringTest, SwitchingOfflineModeOffResendsTheConfirmationsGivenOffline) {
    ASSERT_TRUE(store_->mainContext()
                    .database()
                    .run("INSERT INTO File (cmsID, title, needsReadConfirmation, "
                         "didSendReadConfirmation, confirmationDate) VALUES (1, 'Read offline', "
                         "1, 0, 1)")
                    .ok());
    setOfflineMode(true);
    InterfaceManager::sharedInstance().activeOfflineMode(false);
    ASSERT_TRUE(pump([&] { return !confirmed_.empty(); }));
    EXPECT_EQ(confirmed_, std::vector<std::string>{"Read offline"});
}

TEST_F(SyncManagerWiringTest, ErasingTheDataForgetsTheCurrentLanguage) {
    const std::string key = LocaleManager::userDefaultsKey("alice");
    CurrentSelection::setUser(std::nullopt, "alice");
    ASSERT_TRUE(UserDefaults::shared().set(key, PlistValue(std::int64_t{1})).ok());
    ASSERT_TRUE(LocaleManager::shared().storedLocaleID().has_value());

    std::optional<double> last;
    sync_->resetData([&](double fraction) { last = fraction; },
                     [](const Error& error) { ADD_FAILURE() << error.description; });
    ASSERT_TRUE(pump([&] { return last == 1.0; }));
    EXPECT_FALSE(LocaleManager::shared().storedLocaleID().has_value());
}

}  // namespace
}  // namespace pagewell::test
