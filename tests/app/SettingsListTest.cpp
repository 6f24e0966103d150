#include "app/SettingsList.h"

#include <gtest/gtest.h>

#include "SettingsFixtures.h"
#include "TestSupport.h"
#include "app/SettingsManager.h"
#include "app/SettingsPlaceholders.h"

namespace pagewell {
namespace {

using namespace testing_settings;

TEST(SettingsPlaceholdersTest, ReplacesEveryPlaceholderAndLeavesOtherText) {
    struct Case {
        const char* text;
        const char* locale;
        std::string expected;
    };
    const Case cases[] = {
        {"{APP_VERSION}", "", PAGEWELL_VERSION},
        {"Version {APP_VERSION} ({APP_VERSION})", "",
         std::string("Version ") + PAGEWELL_VERSION + " (" + PAGEWELL_VERSION + ")"},
        {"{CURRENT_LOCALE}", "Deutsch", "Deutsch"},
        {"{CURRENT_LOCALE}", "", ""},
        {"{SEND_LOG}", "", ""},
        {"{RESET_SYNC}", "", ""},
        {"{RESET_TIMESTAMPS}", "", ""},
        {"{RESET_READ_CONFIRMATIONS}", "", ""},
        {"{IMPRINT}", "", ""},
        {"a{IMPRINT}b", "", "ab"},
        // A title is inserted as it is, never read as a placeholder itself.
        {"{CURRENT_LOCALE}", "{IMPRINT}", "{IMPRINT}"},
        {"{UNKNOWN} {APP_VERSION", "", "{UNKNOWN} {APP_VERSION"},
        {"", "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SettingsPlaceholders::replace(c.text, c.locale), c.expected);
    }
    EXPECT_EQ(SettingsPlaceholders::appVersion(), "0.1.0");
}

TEST(SettingsListTest, StepperShowsTheStoredNumberAsWholeNumber) {
    EXPECT_EQ(SettingsList::stepperText(7.0), "7");
    EXPECT_EQ(SettingsList::stepperText(7), "7");
    EXPECT_EQ(SettingsList::stepperText(7.9), "7");
    EXPECT_EQ(SettingsList::stepperText(120.0), "120");
    EXPECT_EQ(SettingsList::stepperText(PlistValue()), "0");
}

TEST(SettingsListTest, TitlesCompareWithoutCaseAndDiacritics) {
    EXPECT_EQ(SettingsList::compareTitles("Über", "uber"), 0);
    EXPECT_EQ(SettingsList::compareTitles("ÉCLAIR", "eclair"), 0);
    EXPECT_LT(SettingsList::compareTitles("apple", "Banana"), 0);
    EXPECT_LT(SettingsList::compareTitles("Éclair", "zeta"), 0);
    EXPECT_GT(SettingsList::compareTitles("zeta", "Apple"), 0);
}

class SettingsListStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writePlist(
            dir_.path() / "DefaultSettings.plist",
            settingsFile({
                group("Z", {setting("S", 7.0, "stepper")}, true, "zeta"),
                group("HIDDEN", {setting("H", true)}, false, "aaa hidden"),
                group("E", {setting("T", "v{APP_VERSION}", "", "Version")}, true, "Éclair"),
                group("TRACKING_SETTINGS", {setting("TRACKING_ENABLED", false)}, true, "Tracking"),
                group("B", {setting("SW", true), setting("OFF", 0)}, true, "Banana"),
                group("A", {setting("L", "{CURRENT_LOCALE}", "text")}, true, "apple"),
            }));
        settings_ = std::make_unique<SettingsManager>(dir_.path() / "Documents",
                                                      dir_.path() / "DefaultSettings.plist");
    }
    std::vector<std::string> keys(const std::vector<SettingGroupRow>& groups) {
        std::vector<std::string> result;
        for (const auto& g : groups) {
            result.push_back(g.key);
        }
        return result;
    }
    TemporaryDirectory dir_;
    std::unique_ptr<SettingsManager> settings_;
};

TEST_F(SettingsListStoreTest, ListsVisibleGroupsByTitleAndTrackingOnlyWhenPrompted) {
    SettingsList::Options options;
    EXPECT_EQ(keys(SettingsList::groups(*settings_, options)),
              (std::vector<std::string>{"A", "B", "E", "Z"}));
    options.showTrackingGroup = true;
    EXPECT_EQ(keys(SettingsList::groups(*settings_, options)),
              (std::vector<std::string>{"A", "B", "E", "TRACKING_SETTINGS", "Z"}));
    // Localised titles reorder the list.
    options.title = [](const std::string& key, const std::string& alt) {
        return key == "Z" ? std::string("Aardvark") : alt;
    };
    auto groups = SettingsList::groups(*settings_, options);
    EXPECT_EQ(groups.front().key, "Z");
    EXPECT_EQ(groups.front().title, "Aardvark");
}

TEST_F(SettingsListStoreTest, RowsShowValuesTheWayTheScreenDoes) {
    SettingsList::Options options;
    options.currentLocaleTitle = "English";
    auto all = SettingsList::groups(*settings_, options);
    ASSERT_EQ(all.size(), 4u);
    const SettingGroupRow& apple = all[0];
    ASSERT_EQ(apple.rows.size(), 1u);
    EXPECT_EQ(apple.rows[0].valueText, "English");
    EXPECT_EQ(apple.rows[0].kind, SettingRules::Kind::Text);

    const SettingGroupRow& banana = all[1];
    ASSERT_EQ(banana.rows.size(), 2u);
    EXPECT_EQ(banana.rows[0].valueText, "on");
    EXPECT_EQ(banana.rows[0].title, "SW title");
    EXPECT_EQ(banana.rows[1].valueText, "off");

    EXPECT_EQ(all[2].rows[0].valueText, std::string("v") + PAGEWELL_VERSION);
    EXPECT_EQ(all[2].rows[0].title, "Version");
    EXPECT_EQ(all[3].rows[0].valueText, "7");
    EXPECT_EQ(all[3].rows[0].value, PlistValue(7.0));
    EXPECT_EQ(all[3].rows[0].kind, SettingRules::Kind::Stepper);
}

TEST_F(SettingsListStoreTest, TrackingSwitchShowsTheConsentWhenKnown) {
    SettingsList::Options options;
    options.trackingConsent = [] { return std::optional<bool>(true); };
    auto tracking = SettingsList::group(*settings_, "TRACKING_SETTINGS", options);
    ASSERT_TRUE(tracking);
    EXPECT_EQ(tracking->rows[0].valueText, "on");
    options.trackingConsent = [] { return std::optional<bool>(); };
    EXPECT_EQ(SettingsList::group(*settings_, "TRACKING_SETTINGS", options)->rows[0].valueText,
              "off");
}

TEST_F(SettingsListStoreTest, DetailFindsHiddenGroupsAndNothingForUnknownKeys) {
    auto hidden = SettingsList::group(*settings_, "HIDDEN", {});
    ASSERT_TRUE(hidden);
    EXPECT_FALSE(hidden->visible);
    EXPECT_EQ(hidden->title, "aaa hidden");
    EXPECT_FALSE(SettingsList::group(*settings_, "NOPE", {}));
}

}  // namespace
}  // namespace pagewell
