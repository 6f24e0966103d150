#include <gtest/gtest.h>

#include "LocaleTestSupport.h"
#include "app/AppWiring.h"
#include "app/ContentLanguageStep.h"
#include "net/CatalogueRequests.h"
#include "store/StoreHooks.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {
namespace {

using Outcome = ContentLanguageStep::Outcome;

// The content-language step against pagewell-cms: "demo" holds English (1) and Deutsch (2),
// "other" only English, "nobody" no language at all.
class LocaleFlowTest : public LocaleFixture {
  protected:
    void SetUp() override {
        LocaleFixture::SetUp();
        importer_ = std::make_shared<LocaleOnlyImporter>();
        EndpointDelegates::shared().setImporter(importer_);
        nlohmann::json manifest = cms::test::testManifest();
        manifest["users"].push_back({{"id", 3},
                                     {"username", "nobody"},
                                     {"password", "pw3"},
                                     {"locales", nlohmann::json::array()}});
        std::filesystem::path catalogue = dir_.path() / "catalogue";
        cms::test::writeTestCatalogue(catalogue, manifest);
        cms::CmsServerOptions options;
        options.catalogue = catalogue;
        options.appSecret = kSessionAppSecret;
        options.tokenLifetime = std::chrono::hours(24);
        auto created = cms::CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        ASSERT_TRUE(server_->start().ok());
        useServer(server_->baseUrl());
    }

    void login(const std::string& user, const std::string& password) {
        keychain_->deleteCredentials();
        AccountManager::_forgetKeptUser();
        std::optional<bool> succeeded;
        LoginManager::shared().loginWithUserName(
            user, password, [&] { succeeded = true; }, [&](const Error&) { succeeded = false; });
        ASSERT_TRUE(pumpUntil([&] { return succeeded.has_value(); }));
        ASSERT_TRUE(*succeeded);
        LocaleManager::shared().forgetCache();
    }

    // Runs the step to its end, answering open alerts with `alertAnswers` in turn.
    Outcome runStep(std::vector<int> alertAnswers = {}) {
        std::optional<Outcome> outcome;
        ContentLanguageStep::showLocaleView([&](Outcome value) { outcome = value; },
                                            {[this] { ++favoriteSyncs_; }, {}});
        std::size_t answered = presenter_->shown.size();
        for (int answer : alertAnswers) {
            Presenter::AlertId id = waitForAlert(answered + 1);
            EXPECT_NE(id, 0);
            presenter_->answer(id, answer);
            ++answered;
        }
        EXPECT_TRUE(pumpUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(Outcome::Declined);
    }

    std::optional<std::string> currentID() { return LocaleManager::shared().getCurrentLocaleID(); }

    std::shared_ptr<LocaleOnlyImporter> importer_;
    int favoriteSyncs_ = 0;
};

TEST_F(LocaleFlowTest, TheFetchImportsTheLanguagesOfTheSignedInUser) {
    login("demo", "demo");
    std::optional<bool> fetched;
    LocaleManager::shared().getLocaleWithCompletionBlock([&] { fetched = true; },
                                                         [&](const Error&) { fetched = false; });
    ASSERT_TRUE(pumpUntil([&] { return fetched.has_value(); }));
    EXPECT_TRUE(*fetched);
    EXPECT_EQ(importer_->calls, 1);
    auto mine = LocaleManager::localesOfCurrentUser(main());
    ASSERT_TRUE(mine.ok());
    ASSERT_EQ(mine.value().size(), 2u);
    EXPECT_EQ(mine.value()[0].title, "Deutsch");
    EXPECT_EQ(mine.value()[0].iso5, "de_DE");
    EXPECT_EQ(mine.value()[1].title, "English");
}

TEST_F(LocaleFlowTest, ASingleLanguageIsTakenWithoutAsking) {
    login("other", "pw2");
    presenter_->choiceAnswer = std::nullopt;  // a chooser would be cancelled
    EXPECT_EQ(runStep(), Outcome::Chosen);
    EXPECT_EQ(currentID(), "1");
    EXPECT_EQ(favoriteSyncs_, 1);
    EXPECT_TRUE(presenter_->shown.empty());
}

TEST_F(LocaleFlowTest, SeveralLanguagesAskOnceUnlessAlwaysAskIsOn) {
    login("demo", "demo");
    presenter_->choiceAnswer = 0;  // sorted by title: Deutsch first
    EXPECT_EQ(runStep(), Outcome::Chosen);
    EXPECT_EQ(currentID(), "2");
    EXPECT_EQ(LanguageSwitcher::shared().getCurrentLanguage(), "de");

    // The next login keeps the choice without asking.
    presenter_->choiceAnswer = 1;
    EXPECT_EQ(runStep(), Outcome::Kept);
    EXPECT_EQ(currentID(), "2");

    ASSERT_TRUE(
        SettingsManager::sharedInstance()
            .writeSettingInGroup(settings::kLocaleGroup, settings::kAlwaysAskForLocale, true)
            .ok());
    EXPECT_EQ(runStep(), Outcome::Chosen);
    EXPECT_EQ(currentID(), "1");

    presenter_->choiceAnswer = std::nullopt;
    EXPECT_EQ(runStep(), Outcome::NotChosen);
    EXPECT_EQ(currentID(), "1");
    EXPECT_EQ(favoriteSyncs_, 3);
}

TEST_F(LocaleFlowTest, AUserWithoutLanguagesIsToldLoggedOutAndLosesTheChoice) {
    login("nobody", "pw3");
    // A language the user held earlier, and the choice made then.
    importForCurrentUser({entry(1, "English", "en")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));
    ASSERT_EQ(currentID(), "1");
    ASSERT_TRUE(LoginManager::shared().isLoggedIn());

    EXPECT_EQ(runStep({0}), Outcome::NoLanguages);
    ASSERT_EQ(presenter_->shown.size(), 1u);
    const Alert& alert = presenter_->shown[0].alert;
    EXPECT_EQ(alert.title, "Locale");
    EXPECT_EQ(alert.message, ContentLanguageStep::kNoLocaleMessage);
    EXPECT_EQ(alert.buttonTitle(0), "Ok");
    EXPECT_FALSE(LoginManager::shared().isLoggedIn());
    EXPECT_FALSE(UserDefaults::shared().contains("CURRENT_LOCALE_ID_nobody"));
    EXPECT_FALSE(currentID().has_value());
    EXPECT_TRUE(LocaleManager::localesOfCurrentUser(main()).value().empty());
    EXPECT_EQ(favoriteSyncs_, 0);
}

TEST_F(LocaleFlowTest, AFailedFetchAsksAboutOfflineModeAndRunsAgainOnYes) {
    login("demo", "demo");
    presenter_->choiceAnswer = 1;
    ASSERT_EQ(runStep(), Outcome::Chosen);  // English
    stopServer();

    // No: nothing more happens.
    EXPECT_EQ(runStep({0}), Outcome::Declined);
    EXPECT_EQ(presenter_->shown.back().alert.title, InterfaceManager::kOfflineOffTitle);
    EXPECT_FALSE(offlineMode());

    // Yes: offline mode goes on and the step runs again on the stored languages.
    EXPECT_EQ(runStep({1}), Outcome::Kept);
    EXPECT_TRUE(offlineMode());
    EXPECT_EQ(currentID(), "1");
}

TEST_F(LocaleFlowTest, TheWiringLetsAnOperationWithoutLanguageRunTheSelection) {
    AppWiring::install();
    login("other", "pw2");
    ASSERT_FALSE(currentID().has_value());
    ASSERT_EQ(EndpointDelegates::shared().localeSource(), LocaleManager::sharedPointer());
    ASSERT_NE(EndpointDelegates::shared().timestamps(), nullptr);

    std::optional<bool> finished;
    CatalogueRequests().getCategoriesFromAPI([&] { finished = true; },
                                             [&](const Error&) { finished = false; });
    ASSERT_TRUE(pumpUntil([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished);
    EXPECT_TRUE(logs_->contains(InterfaceManager::kLogNoLocale));
    EXPECT_EQ(currentID(), "1");
    // The timestamps now belong to this user and language.
    EXPECT_EQ(AppWiring::timestampManager()->currentEntryKey(),
              TimestampManager::entryKey("other", "1"));
    StoreHooks::setCategoryTimestamps(nullptr);
}

}  // namespace
}  // namespace pagewell::test
