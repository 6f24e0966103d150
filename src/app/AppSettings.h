#pragma once
// The application configuration of one deployment: server address, login secret and feature
// switches, from a read-only property list. The first accessor call reads the whole file once
// and every later call answers from the kept values. A missing or unreadable file, or a key of
// the wrong type, reads as absent: a boolean as no, a string as none, the list as empty.
//
// Threading: every operation may be called from any thread; the first read happens exactly
// once under an internal mutex, which also guards the path override.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class AppSettings {
  public:
    using Path = std::filesystem::path;

    static std::optional<std::string> cmsUrl();
    static std::optional<std::string> loginSecret();
    static bool autoUpdaterEnabled();
    static bool skipLoginEnabled();
    static std::optional<std::string> skipLoginUser();
    static std::optional<std::string> skipLoginPassword();
    static bool autoLoginWithSkipLoginUser();
    static std::optional<std::string> htaccessUser();
    static std::optional<std::string> htaccessPassword();
    static bool pageSelectionEnabled();
    static std::optional<std::string> staticLocaleId();
    static bool timestampSyncEnabled();
    static bool passwordResetEnabled();
    static std::vector<std::string> additionalShareBCCRecipients();
    static bool enableFavoriteSync();
    static bool biometricAuthEnabled();
    static bool trackingOptInPromptEnabled();
    static bool instantSearchResultsEnabled();
    // A PEM file of certificate authorities to trust in addition to the system's (a company's
    // own authority): $PAGEWELL_CA_BUNDLE when set, else "CABundle" (a path relative to the
    // configuration file's directory, or absolute); none when neither names one.
    static std::optional<std::string> caBundlePath();

    // Reads the configuration from `path` from now on (an empty path returns to the default);
    // the kept values are dropped and read again on the next access. For --config and tests.
    static void _setSettingsPath(Path path);
    // The file the accessors read: the override, else resolveSettingsPath({}).
    static Path settingsPath();
    // --config when given, else $PAGEWELL_APP_SETTINGS, else the shipped AppSettings.plist.
    static Path resolveSettingsPath(const std::optional<Path>& option);
    // Why the configuration file could not be read (reads it when not yet read), or none.
    static std::optional<Error> loadError();

    static constexpr const char* kPathVariable = "PAGEWELL_APP_SETTINGS";
    static constexpr const char* kCABundleVariable = "PAGEWELL_CA_BUNDLE";
    static constexpr const char* kShippedFileName = "AppSettings.plist";

    static constexpr const char* kCmsUrlKey = "CMSURL";
    static constexpr const char* kLoginSecretKey = "LoginSecret";
    static constexpr const char* kAutoUpdaterEnabledKey = "AutoUpdaterEnabled";
    static constexpr const char* kSkipLoginEnabledKey = "SkipLoginEnabled";
    static constexpr const char* kSkipLoginUserKey = "SkipLoginUser";
    static constexpr const char* kSkipLoginPasswordKey = "SkipLoginPassword";
    static constexpr const char* kAutoLoginWithSkipLoginUserKey = "AutoLoginWithSkipLoginUser";
    static constexpr const char* kHtaccessUserKey = "HtaccessUser";
    static constexpr const char* kHtaccessPasswordKey = "HtaccessPassword";
    static constexpr const char* kPageSelectionEnabledKey = "PageSelectionEnabled";
    static constexpr const char* kStaticLocaleIdKey = "StaticLocaleID";
    static constexpr const char* kTimestampSyncEnabledKey = "TimestampSyncEnabled";
    static constexpr const char* kPasswordResetEnabledKey = "PasswordResetEnabled";
    static constexpr const char* kAdditionalShareBCCRecipientsKey = "AdditionalShareBCCRecipients";
    static constexpr const char* kEnableFavoriteSyncKey = "EnableFavoriteSync";
    static constexpr const char* kBiometricAuthEnabledKey = "BiometricAuthEnabled";
    static constexpr const char* kTrackingOptInPromptKey = "TrackingOptInPrompt";
    static constexpr const char* kInstantSearchResultsEnabledKey = "InstantSearchResultsEnabled";
    static constexpr const char* kCABundleKey = "CABundle";

    static constexpr const char* kErrorDomain = "AppSettingsErrorDomain";
};

}  // namespace pagewell
