// The settings files shipped in data/: every group and key the application reads is present
// with the ui type its readers expect, and every stepper starts inside its range.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AppSettings.h"
#include "app/SettingRules.h"
#include "app/SettingsList.h"
#include "app/SettingsManager.h"
#include "app/SettingsPlaceholders.h"

namespace pagewell {
namespace {

const std::filesystem::path kShippedDir = PAGEWELL_SHIPPED_DATA_DIR;

class ShippedSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings_ = std::make_unique<SettingsManager>(dir_.path() / "Documents",
                                                      kShippedDir / "DefaultSettings.plist");
        ASSERT_FALSE(settings_->loadError());
    }
    TemporaryDirectory dir_;
    std::unique_ptr<SettingsManager> settings_;
};

TEST_F(ShippedSettingsTest, HoldsEveryGroupAndKeyWithItsUiType) {
    struct Expected {
        const char* group;
        const char* key;
        SettingRules::Kind kind;
    };
    using K = SettingRules::Kind;
    const Expected expected[] = {
        {"LOG", "LOG_HTTP_TRAFFIC", K::Switch},
        {"LOGIN_SETTINGS", "LOGIN_SAVE_PASSWORD", K::Switch},
        {"LOGOUT_SETTINGS", "LOGOUT_INTERVAL", K::Stepper},
        {"OFFLINE_SETTINGS", "OFFLINEMODE", K::Switch},
        {"LOCALE", "ALWAYS_ASK_FOR_LOCALE", K::Switch},
        {"LOCATION_SETTINGS", "AUTO_SELECT_LOCATION", K::Switch},
        {"FILESHARING_SETTINGS", "SEND_AS_FILE", K::Switch},
        {"FILESHARING_SETTINGS", "SEND_MAIL_COPY", K::Switch},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINK_REMINDER", K::Stepper},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", K::Stepper},
        {"REDLINING_SETTINGS", "AUTO_SAVE_REDLINING", K::Switch},
        {"SYNC_SETTINGS", "AUTO_SYNC", K::Switch},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", K::Stepper},
        {"SYNC_SETTINGS", "RESET_SYNC", K::Text},
        {"SYNC_SETTINGS", "RESET_TIMESTAMPS", K::Text},
        {"SYNC_SETTINGS", "RESET_READ_CONFIRMATIONS", K::Text},
        {"TRACKING_SETTINGS", "TRACKING_ENABLED", K::Switch},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(std::string(e.group) + "/" + e.key);
        auto setting = settings_->getSettingDictionary(e.group, e.key);
        ASSERT_TRUE(setting);
        EXPECT_EQ(SettingRules::kindOf(*setting), e.kind);
        ASSERT_TRUE(setting->count("value"));
        const PlistValue& value = setting->at("value");
        EXPECT_FALSE(setting->at("alt").stringValue().empty());
        switch (e.kind) {
            case K::Switch:
                EXPECT_TRUE(value.isBool());
                break;
            case K::Stepper: {
                ASSERT_TRUE(value.isNumber());
                auto range = SettingRules::stepperRange(e.key);
                EXPECT_GE(value.realValue(), range.minimum);
                EXPECT_LE(value.realValue(), range.maximum);
                EXPECT_EQ(value.realValue(), static_cast<double>(value.integerValue()));
                break;
            }
            case K::Text:
                // Action rows carry their placeholder, which shows as nothing.
                EXPECT_EQ(value.stringValue(), std::string("{") + e.key + "}");
                break;
        }
    }
}

TEST_F(ShippedSettingsTest, InformationalAndActionGroupsHaveTheirRows) {
    SettingsList::Options options;
    options.currentLocaleTitle = "English";
    auto version = SettingsList::group(*settings_, "VERSION_INFOS", options);
    ASSERT_TRUE(version);
    ASSERT_FALSE(version->rows.empty());
    bool showsVersion = false;
    bool showsLocale = false;
    for (const auto& row : version->rows) {
        showsVersion |= row.valueText == SettingsPlaceholders::appVersion();
        showsLocale |= row.valueText == "English";
    }
    EXPECT_TRUE(showsVersion);
    EXPECT_TRUE(showsLocale);

    auto imprint = SettingsList::group(*settings_, "IMPRINT", options);
    ASSERT_TRUE(imprint);
    ASSERT_EQ(imprint->rows.size(), 1u);
    EXPECT_EQ(imprint->rows[0].kind, SettingRules::Kind::Text);
    EXPECT_EQ(imprint->rows[0].valueText, "");

    auto log = SettingsList::group(*settings_, "LOG", options);
    ASSERT_TRUE(log);
    int actionRows = 0;
    for (const auto& row : log->rows) {
        actionRows += row.value == PlistValue("{SEND_LOG}") ? 1 : 0;
    }
    EXPECT_EQ(actionRows, 1);

    // Every group of the list has a title and at least one row.
    options.showTrackingGroup = true;
    for (const auto& group : SettingsList::groups(*settings_, options)) {
        EXPECT_FALSE(group.title.empty()) << group.key;
        EXPECT_FALSE(group.rows.empty()) << group.key;
    }
}

TEST(ShippedAppSettingsTest, DemoConfigurationPointsAtTheLocalServer) {
    AppSettings::_setSettingsPath(kShippedDir / "AppSettings.plist");
    EXPECT_FALSE(AppSettings::loadError());
    EXPECT_EQ(AppSettings::cmsUrl(), "http://127.0.0.1:8765");
    EXPECT_EQ(AppSettings::loginSecret(), "pagewell-demo-secret");
    EXPECT_TRUE(AppSettings::timestampSyncEnabled());
    EXPECT_TRUE(AppSettings::enableFavoriteSync());
    EXPECT_TRUE(AppSettings::passwordResetEnabled());
    EXPECT_TRUE(AppSettings::pageSelectionEnabled());
    EXPECT_TRUE(AppSettings::instantSearchResultsEnabled());
    EXPECT_FALSE(AppSettings::trackingOptInPromptEnabled());
    EXPECT_FALSE(AppSettings::autoLoginWithSkipLoginUser());
    AppSettings::_setSettingsPath({});
}

}  // namespace
}  // namespace pagewell
