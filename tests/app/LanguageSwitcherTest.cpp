#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/LanguageSwitcher.h"
#include "platform/FileAreas.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

namespace pagewell {
namespace {

const std::filesystem::path kShipped = PAGEWELL_SHIPPED_DATA_DIR;

PlistDict shippedTable(const std::string& code) {
    auto read = PropertyList::readFile(LanguageSwitcher::tablePath(kShipped, code).string());
    EXPECT_TRUE(read.ok()) << code;
    return read.ok() && read.value().dict() ? *read.value().dict() : PlistDict{};
}

TEST(LanguageSwitcherTest, LooksTextsUpInTheCurrentTableAndFallsBackToTheDefault) {
    LanguageSwitcher switcher(kShipped, "de");
    struct Case {
        const char* language;
        const char* key;
        const char* alter;
        const char* expected;
    };
    const Case cases[] = {
        {"de", "CANCEL", "Cancel", "Abbrechen"},
        {"de", "RESET_TIMESTAMPS_TITLE", "Reset timestamp", "Zeitstempel zurücksetzen"},
        {"de", "NO_SUCH_KEY", "Shown as it is", "Shown as it is"},
        {"en", "CANCEL", "Abort", "Cancel"},
        {"en", "NO_SUCH_KEY", "Default", "Default"},
        {"xx", "CANCEL", "Cancel (default)", "Cancel (default)"},  // no table at all
        {"../de", "CANCEL", "Cancel", "Cancel"},                   // never outside the tables
    };
    for (const Case& c : cases) {
        switcher.setLanguage(c.language);
        EXPECT_EQ(switcher.getCurrentLanguage(), c.language);
        EXPECT_EQ(switcher.get(c.key, c.alter), c.expected) << c.language << " " << c.key;
    }
    switcher.setLanguage("");
    EXPECT_EQ(switcher.getCurrentLanguage(), "../de");
}

TEST(LanguageSwitcherTest, TheGermanTableCoversEveryEnglishKey) {
    PlistDict english = shippedTable("en");
    PlistDict german = shippedTable("de");
    ASSERT_FALSE(english.empty());
    for (const auto& [key, text] : english) {
        const PlistValue* translated = german.count(key) ? &german.at(key) : nullptr;
        ASSERT_NE(translated, nullptr) << key;
        EXPECT_FALSE(translated->stringValue().empty()) << key;
    }
    // The tabs of the main screen are among them.
    for (const char* key : {"HIGHLIGHTS", "CATEGORIES", "FAVORITES", "SYNC", "LINK_BASKET",
                            "SETTINGS", "LOCATIONS", "TV", "REPORT"}) {
        EXPECT_TRUE(english.count(key)) << key;
    }
}

TEST(LanguageSwitcherTest, ThePreferredLanguageComesFromTheUserDefaultsFirst) {
    TemporaryDirectory dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "defaults.plist");
    UserDefaults::setShared(defaults);
    ASSERT_TRUE(defaults
                    ->set(LanguageSwitcher::kPreferredLanguagesKey,
                          PlistValue(PlistArray{PlistValue("de-DE"), PlistValue("en")}))
                    .ok());
    EXPECT_EQ(LanguageSwitcher::preferredLanguage(), "de");
    ASSERT_TRUE(defaults
                    ->set(LanguageSwitcher::kPreferredLanguagesKey,
                          PlistValue(PlistArray{PlistValue("fr_FR.UTF-8")}))
                    .ok());
    EXPECT_EQ(LanguageSwitcher::preferredLanguage(), "fr");
    UserDefaults::setShared(nullptr);
}

}  // namespace
}  // namespace pagewell
