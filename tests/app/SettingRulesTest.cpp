#include "app/SettingRules.h"

#include <gtest/gtest.h>

#include "SettingsFixtures.h"
#include "TestSupport.h"
#include "app/SettingsManager.h"

namespace pagewell {
namespace {

using namespace testing_settings;

class SettingRulesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writePlist(dir_.path() / "DefaultSettings.plist",
                   settingsFile({
                       group("LOG", {setting("LOG_HTTP_TRAFFIC", false),
                                     setting("SEND_LOG", "{SEND_LOG}", "")}),
                       group("FILESHARING_SETTINGS",
                             {setting("UNREAD_SHARE_LINK_REMINDER", 7.0, "stepper"),
                              setting("UNREAD_SHARE_LINKS_DAYS", 14.0, "stepper")}),
                       group("SYNC_SETTINGS", {setting("SYNC_INTERVAL", 30.0, "stepper"),
                                               setting("LABEL", "x", "label")}),
                   }));
        settings_ = std::make_unique<SettingsManager>(dir_.path() / "Documents",
                                                      dir_.path() / "DefaultSettings.plist");
    }
    TemporaryDirectory dir_;
    std::unique_ptr<SettingsManager> settings_;
};

TEST_F(SettingRulesTest, AcceptsWhatTheSettingsScreenCouldStoreAndNothingElse) {
    struct Case {
        const char* group;
        const char* key;
        const char* text;
        std::optional<PlistValue> stored;  // none: refused
        int code = 0;                      // the refusal's code
        const char* mentions = "";         // a text the refusal must contain
    };
    using R = SettingRules;
    const Case cases[] = {
        {"LOG", "LOG_HTTP_TRAFFIC", "true", true},
        {"LOG", "LOG_HTTP_TRAFFIC", "Yes", true},
        {"LOG", "LOG_HTTP_TRAFFIC", "ON", true},
        {"LOG", "LOG_HTTP_TRAFFIC", "1", true},
        {"LOG", "LOG_HTTP_TRAFFIC", "false", false},
        {"LOG", "LOG_HTTP_TRAFFIC", " no ", false},
        {"LOG", "LOG_HTTP_TRAFFIC", "off", false},
        {"LOG", "LOG_HTTP_TRAFFIC", "0", false},
        {"LOG", "LOG_HTTP_TRAFFIC", "maybe", std::nullopt, R::kBadValue, "true/false"},
        {"LOG", "LOG_HTTP_TRAFFIC", "", std::nullopt, R::kBadValue},
        // Steppers store floating-point numbers, inside 5..120.
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "5", 5.0},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "120", 120.0},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "4", std::nullopt, R::kOutOfRange, "5 to 120"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "121", std::nullopt, R::kOutOfRange, "5 to 120"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "-10", std::nullopt, R::kOutOfRange, "5 to 120"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "7.5", std::nullopt, R::kBadValue, "whole number"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "ten", std::nullopt, R::kBadValue, "whole number"},
        {"SYNC_SETTINGS", "SYNC_INTERVAL", "99999999999", std::nullopt, R::kBadValue},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINK_REMINDER", "7", 7.0},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINK_REMINDER", "0", std::nullopt, R::kOutOfRange,
         "5 to 120"},
        // The share-link validity has its own range, 1..30.
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "1", 1.0},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "30", 30.0},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "31", std::nullopt, R::kOutOfRange,
         "1 to 30"},
        {"FILESHARING_SETTINGS", "UNREAD_SHARE_LINKS_DAYS", "0", std::nullopt, R::kOutOfRange,
         "1 to 30"},
        // Rows that show text (no ui type, or one that is neither switch nor stepper).
        {"LOG", "SEND_LOG", "x", std::nullopt, R::kNotSettable, "SEND_LOG"},
        {"SYNC_SETTINGS", "LABEL", "y", std::nullopt, R::kNotSettable},
        {"NO_GROUP", "SYNC_INTERVAL", "10", std::nullopt, R::kUnknownGroup, "NO_GROUP"},
        {"SYNC_SETTINGS", "NO_KEY", "10", std::nullopt, R::kUnknownSetting, "NO_KEY"},
        // Keys are matched within their group only.
        {"LOG", "SYNC_INTERVAL", "10", std::nullopt, R::kUnknownSetting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.group) + "/" + c.key + " = '" + c.text + "'");
        auto result = SettingRules::validate(*settings_, c.group, c.key, c.text);
        if (c.stored) {
            ASSERT_TRUE(result.ok()) << result.error().description;
            EXPECT_EQ(result.value(), *c.stored);
            EXPECT_EQ(result.value().isReal(), c.stored->isReal());
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error().domain, SettingRules::kErrorDomain);
            EXPECT_EQ(result.error().code, c.code);
            EXPECT_NE(result.error().description.find(c.mentions), std::string::npos)
                << result.error().description;
        }
    }
}

TEST(SettingRulesKindTest, UiTypeDecidesTheKind) {
    EXPECT_EQ(SettingRules::kindOf({{"uitype", "switch"}}), SettingRules::Kind::Switch);
    EXPECT_EQ(SettingRules::kindOf({{"uitype", "stepper"}}), SettingRules::Kind::Stepper);
    EXPECT_EQ(SettingRules::kindOf({{"uitype", "Stepper"}}), SettingRules::Kind::Text);
    EXPECT_EQ(SettingRules::kindOf({{"uitype", 1}}), SettingRules::Kind::Text);
    EXPECT_EQ(SettingRules::kindOf({}), SettingRules::Kind::Text);
}

}  // namespace
}  // namespace pagewell
