#include <gtest/gtest.h>

#include "LocaleTestSupport.h"
#include "app/LocaleViewController.h"
#include "store/CurrentSelection.h"

namespace pagewell::test {
namespace {

using LocaleManagerTest = LocaleFixture;

std::vector<std::int64_t> userCmsIDs(StoreContext& context, const Locale& locale) {
    std::vector<std::int64_t> ids;
    auto keys = locale.userKeys(context);
    EXPECT_TRUE(keys.ok());
    for (std::int64_t key : keys.value()) {
        auto user = User::find(context, key);
        ids.push_back(user.value()->cmsID.value_or(0));
    }
    return ids;
}

TEST_F(LocaleManagerTest, ImportFindsOrCreatesByIdAndFollowsTheUsersAssignment) {
    signIn("alice", 1);
    auto first = importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    ASSERT_EQ(first.size(), 2u);
    Locale german = localeWithCmsID(2);
    EXPECT_EQ(german.title, "Deutsch");
    EXPECT_EQ(german.iso_full, "Deutsch");
    EXPECT_EQ(german.iso5, "de_XX");
    EXPECT_EQ(german.iso2, "de");

    signIn("bob", 2);
    importForCurrentUser({entry(2, "German", "de")});
    // One record per server identifier, carrying both users and the latest attributes.
    german = localeWithCmsID(2);
    EXPECT_EQ(german.pk, first[1].pk);
    EXPECT_EQ(german.title, "German");
    EXPECT_EQ(userCmsIDs(main(), german), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(userCmsIDs(main(), localeWithCmsID(1)), (std::vector<std::int64_t>{1}));

    // A later answer without German takes bob off it and leaves alice on it.
    importForCurrentUser({});
    EXPECT_EQ(userCmsIDs(main(), localeWithCmsID(2)), (std::vector<std::int64_t>{1}));
}

TEST_F(LocaleManagerTest, SetPropertiesRefusesMissingObjectsAndIdentifiers) {
    signIn("alice", 1);
    struct Case {
        nlohmann::json properties;
        const char* logged;
    };
    const Case cases[] = {
        {nullptr, LocaleImporter::kNilProperties},
        {nlohmann::json{{"title", "No id"}}, LocaleImporter::kNoValidID},
        {nlohmann::json{{"id", "seven"}, {"title", "Bad id"}}, LocaleImporter::kNoValidID},
        {nlohmann::json{{"id", nullptr}, {"title", "Null id"}}, LocaleImporter::kNoValidID},
    };
    for (const Case& c : cases) {
        Locale locale;
        locale.title = "unchanged";
        Status set = LocaleImporter::setProperties(main(), locale, c.properties);
        EXPECT_FALSE(set.ok()) << c.properties.dump();
        EXPECT_EQ(locale.title, "unchanged");
        EXPECT_EQ(locale.pk, 0);
        EXPECT_TRUE(logs_->contains(c.logged)) << c.logged;
    }
    // Entries like these are skipped by the list import; the good one still arrives.
    auto imported = importForCurrentUser({nlohmann::json{{"title", "x"}}, entry(5, "Five", "fv")});
    ASSERT_EQ(imported.size(), 1u);
    EXPECT_EQ(imported[0].cmsID, 5);
    EXPECT_EQ(LocaleImporter::identifier(nlohmann::json(12)), 12);
    EXPECT_EQ(LocaleImporter::identifier(nlohmann::json("12")), 12);
    EXPECT_EQ(LocaleImporter::identifier(nlohmann::json("12a")), std::nullopt);
    EXPECT_FALSE(LocaleImporter::importLocalesWithJSON(main(), nlohmann::json{{"list", {}}}).ok());
}

TEST_F(LocaleManagerTest, TwoUsersKeepTheirOwnCurrentLanguage) {
    signIn("alice", 1);
    importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));

    signIn("bob", 2);
    importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    // Alice's cached choice is not bob's.
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocale().has_value());
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(2));
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "2");

    EXPECT_EQ(UserDefaults::shared().integerValue("CURRENT_LOCALE_ID_alice"), 1);
    EXPECT_EQ(UserDefaults::shared().integerValue("CURRENT_LOCALE_ID_bob"), 2);

    signIn("alice", 1);
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "1");
    EXPECT_EQ(CurrentSelection::localeKey(), localeWithCmsID(1).pk);

    // A new process reads the choices back from the user defaults.
    LocaleManager::setShared(nullptr);
    AccountManager::_forgetKeptUser();
    CurrentSelection::clear();
    signIn("bob", 2);
    auto current = LocaleManager::shared().getCurrentLocale();
    ASSERT_TRUE(current.has_value());
    EXPECT_EQ(current->cmsID, 2);
}

TEST_F(LocaleManagerTest, ALanguageTheUserIsNotAssignedIsNeverCurrent) {
    signIn("alice", 1);
    importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(2));
    ASSERT_EQ(LocaleManager::shared().getCurrentLocaleID(), "2");

    // The server takes German away: the cached choice no longer counts.
    importForCurrentUser({entry(1, "English", "en")});
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocale().has_value());
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocaleID().has_value());
    EXPECT_FALSE(CurrentSelection::localeKey().has_value());
    // The stored identifier itself stays until a choice replaces or removes it.
    EXPECT_EQ(LocaleManager::shared().storedLocaleID(), 2);

    // A stored identifier of a language only another user holds yields none either.
    signIn("bob", 2);
    importForCurrentUser({entry(3, "Français", "fr")});
    ASSERT_TRUE(UserDefaults::shared().set("CURRENT_LOCALE_ID_bob", PlistValue(2)).ok());
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocale().has_value());

    // Nobody signed in: none.
    AccountManager::_forgetKeptUser();
    CurrentSelection::clear();
    keychain_->deleteCredentials();
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocale().has_value());
}

TEST_F(LocaleManagerTest, SettingALanguageSwitchesTheInterfaceAndTellsEveryone) {
    signIn("alice", 1);
    importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    int events = 0;
    std::optional<std::int64_t> announced;
    NotificationCenter::shared().addObserver(LocaleManager::kLanguageSwitchEvent,
                                             [&](const Notification& note) {
                                                 ++events;
                                                 if (auto* locale = note.userInfoAs<Locale>()) {
                                                     announced = locale->cmsID;
                                                 }
                                             });
    int themeDrops = 0;
    LocaleManager::shared().setHooks({{}, {}, [&] { ++themeDrops; }});

    LocaleManager::shared().setCurrentLocale(localeWithCmsID(2));
    EXPECT_EQ(LanguageSwitcher::shared().getCurrentLanguage(), "de");
    EXPECT_EQ(LanguageSwitcher::localized("CANCEL", "Cancel"), "Abbrechen");
    EXPECT_EQ(events, 1);
    EXPECT_EQ(announced, 2);
    EXPECT_EQ(themeDrops, 1);

    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));
    EXPECT_EQ(LanguageSwitcher::localized("CANCEL", "Cancel"), "Cancel");

    // None changes nothing.
    LocaleManager::shared().setCurrentLocale(std::nullopt);
    EXPECT_TRUE(logs_->contains(LocaleManager::kNilLocale));
    EXPECT_EQ(events, 2);
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "1");
}

TEST_F(LocaleManagerTest, OnlyAChangeOfLanguageStopsARunningSynchronisation) {
    signIn("alice", 1);
    importForCurrentUser({entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));
    struct Case {
        int next;
        bool running;
        int stops;
    };
    const Case cases[] = {{1, true, 0}, {2, false, 0}, {1, true, 1}, {1, true, 0}};
    int events = 0;
    NotificationCenter::shared().addObserver(LocaleManager::kLanguageSwitchEvent,
                                             [&](const Notification&) { ++events; });
    for (const Case& c : cases) {
        int stops = 0;
        LocaleManager::shared().setHooks({[&] { return c.running; }, [&] { ++stops; }, {}});
        LocaleManager::shared().setCurrentLocale(localeWithCmsID(c.next));
        EXPECT_EQ(stops, c.stops) << "to " << c.next << " running " << c.running;
    }
    EXPECT_EQ(events, 4);  // also for the language that was already current
}

TEST_F(LocaleManagerTest, RemovingTheChoiceForgetsOnlyThisUsersChoice) {
    signIn("bob", 2);
    importForCurrentUser({entry(1, "English", "en")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));
    signIn("alice", 1);
    importForCurrentUser({entry(1, "English", "en")});
    LocaleManager::shared().setCurrentLocale(localeWithCmsID(1));
    LocaleManager::shared().removeCurrentLocale();
    EXPECT_FALSE(LocaleManager::shared().getCurrentLocale().has_value());
    EXPECT_FALSE(UserDefaults::shared().contains("CURRENT_LOCALE_ID_alice"));
    EXPECT_TRUE(UserDefaults::shared().contains("CURRENT_LOCALE_ID_bob"));
}

TEST_F(LocaleManagerTest, TheChooserListsTheUsersLanguagesByTitle) {
    signIn("alice", 1);
    importForCurrentUser(
        {entry(3, "Italiano", "it"), entry(1, "English", "en"), entry(2, "Deutsch", "de")});
    signIn("bob", 2);
    importForCurrentUser({entry(4, "Français", "fr"), entry(3, "Italiano", "it")});

    auto chooser = std::make_shared<LocaleViewController>(LocaleManager::sharedPointer());
    ASSERT_TRUE(chooser->loadRows(main()).ok());
    EXPECT_EQ(chooser->rowTitles(), (std::vector<std::string>{"Français", "Italiano"}));

    // Several: the presenter's choice becomes current.
    presenter_->choiceAnswer = 1;
    std::optional<bool> chosen;
    chooser->present([&](bool value) { chosen = value; });
    ASSERT_TRUE(pumpUntil([&] { return chosen.has_value(); }));
    EXPECT_TRUE(*chosen);
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "3");

    // A cancelled chooser changes nothing; an index out of range neither.
    presenter_->choiceAnswer = std::nullopt;
    chosen.reset();
    chooser->present([&](bool value) { chosen = value; });
    ASSERT_TRUE(pumpUntil([&] { return chosen.has_value(); }));
    EXPECT_FALSE(*chosen);
    EXPECT_FALSE(chooser->didSelectRow(2));
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "3");

    // Exactly one: taken at once, without asking.
    importForCurrentUser({entry(4, "Français", "fr")});
    ASSERT_TRUE(chooser->loadRows(main()).ok());
    presenter_->choiceAnswer = std::nullopt;
    chosen.reset();
    chooser->present([&](bool value) { chosen = value; });
    EXPECT_EQ(chosen, true);
    EXPECT_EQ(LocaleManager::shared().getCurrentLocaleID(), "4");
}

}  // namespace
}  // namespace pagewell::test
