#include "app/AppSettings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <thread>

#include "SettingsFixtures.h"
#include "TestSupport.h"
#include "app/ShippedResources.h"

namespace pagewell {
namespace {

using testing_settings::writePlist;

// Restores an environment variable when the test ends.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

class AppSettingsTest : public ::testing::Test {
  protected:
    void TearDown() override { AppSettings::_setSettingsPath({}); }
    TemporaryDirectory dir_;
    std::filesystem::path file_ = dir_.path() / "AppSettings.plist";
};

PlistValue everyKey() {
    return PlistDict{
        {"CMSURL", "https://cms.example.test"},
        {"LoginSecret", "s3cret"},
        {"AutoUpdaterEnabled", true},
        {"SkipLoginEnabled", true},
        {"SkipLoginUser", "guest"},
        {"SkipLoginPassword", "guest-pw"},
        {"AutoLoginWithSkipLoginUser", true},
        {"HtaccessUser", "ht-user"},
        {"HtaccessPassword", "ht-pw"},
        {"PageSelectionEnabled", true},
        {"StaticLocaleID", "7"},
        {"TimestampSyncEnabled", true},
        {"PasswordResetEnabled", true},
        {"AdditionalShareBCCRecipients", PlistArray{"a@example.test", 5, "b@example.test"}},
        {"EnableFavoriteSync", true},
        {"BiometricAuthEnabled", true},
        {"TrackingOptInPrompt", true},
        {"InstantSearchResultsEnabled", true},
    };
}

TEST_F(AppSettingsTest, ReadsEveryKey) {
    writePlist(file_, everyKey());
    AppSettings::_setSettingsPath(file_);
    EXPECT_EQ(AppSettings::settingsPath(), file_);
    EXPECT_FALSE(AppSettings::loadError());
    EXPECT_EQ(AppSettings::cmsUrl(), "https://cms.example.test");
    EXPECT_EQ(AppSettings::loginSecret(), "s3cret");
    EXPECT_TRUE(AppSettings::autoUpdaterEnabled());
    EXPECT_TRUE(AppSettings::skipLoginEnabled());
    EXPECT_EQ(AppSettings::skipLoginUser(), "guest");
    EXPECT_EQ(AppSettings::skipLoginPassword(), "guest-pw");
    EXPECT_TRUE(AppSettings::autoLoginWithSkipLoginUser());
    EXPECT_EQ(AppSettings::htaccessUser(), "ht-user");
    EXPECT_EQ(AppSettings::htaccessPassword(), "ht-pw");
    EXPECT_TRUE(AppSettings::pageSelectionEnabled());
    EXPECT_EQ(AppSettings::staticLocaleId(), "7");
    EXPECT_TRUE(AppSettings::timestampSyncEnabled());
    EXPECT_TRUE(AppSettings::passwordResetEnabled());
    // Entries that are not strings are left out.
    EXPECT_EQ(AppSettings::additionalShareBCCRecipients(),
              (std::vector<std::string>{"a@example.test", "b@example.test"}));
    EXPECT_TRUE(AppSettings::enableFavoriteSync());
    EXPECT_TRUE(AppSettings::biometricAuthEnabled());
    EXPECT_TRUE(AppSettings::trackingOptInPromptEnabled());
    EXPECT_TRUE(AppSettings::instantSearchResultsEnabled());
}

TEST_F(AppSettingsTest, MissingOrWrongTypedKeysReadAsNoAndNone) {
    writePlist(file_, PlistDict{{"CMSURL", 12},
                                {"SkipLoginEnabled", "maybe"},
                                {"AdditionalShareBCCRecipients", "x@example.test"}});
    AppSettings::_setSettingsPath(file_);
    EXPECT_FALSE(AppSettings::loadError());
    EXPECT_EQ(AppSettings::cmsUrl(), std::nullopt);
    EXPECT_EQ(AppSettings::loginSecret(), std::nullopt);
    EXPECT_EQ(AppSettings::skipLoginUser(), std::nullopt);
    EXPECT_EQ(AppSettings::staticLocaleId(), std::nullopt);
    EXPECT_FALSE(AppSettings::skipLoginEnabled());
    EXPECT_FALSE(AppSettings::timestampSyncEnabled());
    EXPECT_FALSE(AppSettings::trackingOptInPromptEnabled());
    EXPECT_TRUE(AppSettings::additionalShareBCCRecipients().empty());
}

TEST_F(AppSettingsTest, UnreadableFileReportsWhyAndReadsAsAbsent) {
    struct Case {
        const char* name;
        std::optional<std::string> content;
    };
    const Case cases[] = {{"missing", std::nullopt},
                          {"not a property list", "nonsense"},
                          {"not a dictionary", PropertyList::toXml(PlistArray{"CMSURL"})}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(file_);
        if (c.content) {
            ASSERT_TRUE(FileSystem::writeFileAtomically(file_, *c.content).ok());
        }
        AppSettings::_setSettingsPath(file_);
        ASSERT_TRUE(AppSettings::loadError());
        EXPECT_EQ(AppSettings::cmsUrl(), std::nullopt);
        EXPECT_FALSE(AppSettings::enableFavoriteSync());
    }
}

TEST_F(AppSettingsTest, FileIsReadOnceUntilThePathIsSetAgain) {
    writePlist(file_, everyKey());
    AppSettings::_setSettingsPath(file_);
    ASSERT_EQ(AppSettings::cmsUrl(), "https://cms.example.test");

    writePlist(file_, PlistDict{{"CMSURL", "https://other.example.test"}});
    EXPECT_EQ(AppSettings::cmsUrl(), "https://cms.example.test");
    EXPECT_TRUE(AppSettings::enableFavoriteSync());
    std::filesystem::remove(file_);
    EXPECT_FALSE(AppSettings::loadError());
    EXPECT_EQ(AppSettings::loginSecret(), "s3cret");

    writePlist(file_, PlistDict{{"CMSURL", "https://other.example.test"}});
    AppSettings::_setSettingsPath(file_);
    EXPECT_EQ(AppSettings::cmsUrl(), "https://other.example.test");
    EXPECT_FALSE(AppSettings::enableFavoriteSync());
}

TEST_F(AppSettingsTest, ConcurrentFirstReadsAgree) {
    writePlist(file_, everyKey());
    AppSettings::_setSettingsPath(file_);
    std::vector<std::optional<std::string>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = AppSettings::loginSecret(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& value : seen) {
        EXPECT_EQ(value, "s3cret");
    }
}

TEST_F(AppSettingsTest, PathComesFromOptionThenEnvironmentThenShippedFile) {
    {
        ScopedEnvironment env(AppSettings::kPathVariable, "/env/AppSettings.plist");
        EXPECT_EQ(AppSettings::resolveSettingsPath(std::filesystem::path("/opt/config.plist")),
                  "/opt/config.plist");
        EXPECT_EQ(AppSettings::resolveSettingsPath(std::nullopt), "/env/AppSettings.plist");
        EXPECT_EQ(AppSettings::settingsPath(), "/env/AppSettings.plist");
    }
    {
        ScopedEnvironment env(AppSettings::kPathVariable, "");
        ScopedEnvironment data(ShippedResources::kDirectoryVariable, "/installed/data");
        EXPECT_EQ(AppSettings::resolveSettingsPath(std::nullopt),
                  "/installed/data/AppSettings.plist");
    }
    {
        ScopedEnvironment env(AppSettings::kPathVariable, nullptr);
        ScopedEnvironment data(ShippedResources::kDirectoryVariable, nullptr);
        EXPECT_EQ(AppSettings::resolveSettingsPath(std::filesystem::path()),
                  std::filesystem::path(PAGEWELL_SHIPPED_DATA_DIR) / "AppSettings.plist");
    }
}

// The certificate bundle: the environment wins; the configuration's path is taken relative to
// the configuration file, so a deployment ships its authority beside it.
TEST_F(AppSettingsTest, CertificateBundleComesFromTheEnvironmentOrBesideTheConfiguration) {
    struct Case {
        const char* name;
        const char* configured;  // "CABundle", none when null
        const char* environment;
        std::optional<std::string> expected;
    };
    const std::string beside = (dir_.path() / "certs" / "company-ca.pem").string();
    const Case cases[] = {
        {"neither", nullptr, nullptr, std::nullopt},
        {"relative to the configuration", "certs/company-ca.pem", nullptr, beside},
        {"absolute", "/etc/company/ca.pem", nullptr, "/etc/company/ca.pem"},
        {"environment first", "certs/company-ca.pem", "/tmp/override.pem", "/tmp/override.pem"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlistDict root{{"CMSURL", "https://cms.example.test"}};
        if (c.configured) {
            root.emplace("CABundle", c.configured);
        }
        writePlist(file_, root);
        AppSettings::_setSettingsPath(file_);
        ScopedEnvironment environment(AppSettings::kCABundleVariable, c.environment);
        EXPECT_EQ(AppSettings::caBundlePath(), c.expected);
    }
}

}  // namespace
}  // namespace pagewell
