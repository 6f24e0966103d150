#include "app/AppSettings.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include "app/ShippedResources.h"
#include "platform/Logger.h"
#include "platform/PropertyList.h"

namespace pagewell {

namespace {

struct Values {
    std::optional<std::string> cmsUrl;
    std::optional<std::string> loginSecret;
    bool autoUpdaterEnabled = false;
    bool skipLoginEnabled = false;
    std::optional<std::string> skipLoginUser;
    std::optional<std::string> skipLoginPassword;
    bool autoLoginWithSkipLoginUser = false;
    std::optional<std::string> htaccessUser;
    std::optional<std::string> htaccessPassword;
    bool pageSelectionEnabled = false;
    std::optional<std::string> staticLocaleId;
    bool timestampSyncEnabled = false;
    bool passwordResetEnabled = false;
    std::vector<std::string> additionalShareBCCRecipients;
    bool enableFavoriteSync = false;
    bool biometricAuthEnabled = false;
    bool trackingOptInPromptEnabled = false;
    bool instantSearchResultsEnabled = false;
    std::optional<std::string> caBundle;  // made absolute against the file's directory
    std::optional<Error> loadError;
};

std::mutex gMutex;
std::optional<AppSettings::Path> gOverridePath;  // guarded by gMutex
std::shared_ptr<const Values> gValues;           // guarded by gMutex; null until first read

std::optional<std::string> stringAt(const PlistValue& root, const char* key) {
    const PlistValue* value = root.find(key);
    if (value == nullptr || !value->isString()) {
        return std::nullopt;
    }
    return value->stringValue();
}

bool boolAt(const PlistValue& root, const char* key) {
    const PlistValue* value = root.find(key);
    return value != nullptr && value->boolValue(false);
}

std::vector<std::string> stringsAt(const PlistValue& root, const char* key) {
    std::vector<std::string> result;
    const PlistValue* value = root.find(key);
    if (value == nullptr || value->array() == nullptr) {
        return result;
    }
    for (const PlistValue& item : *value->array()) {
        if (item.isString()) {
            result.push_back(item.stringValue());
        }
    }
    return result;
}

Values readValues(const AppSettings::Path& path) {
    Values values;
    auto file = PropertyList::readFile(path.string());
    if (!file.ok()) {
        values.loadError = file.error();
    } else if (!file.value().isDict()) {
        values.loadError = Error::make(AppSettings::kErrorDomain, 1,
                                       path.string() + " is not a property-list dictionary");
    }
    if (values.loadError) {
        PW_LOG_ERROR_VALUE(*values.loadError);
        return values;
    }
    const PlistValue& root = file.value();
    values.cmsUrl = stringAt(root, AppSettings::kCmsUrlKey);
    values.loginSecret = stringAt(root, AppSettings::kLoginSecretKey);
    values.autoUpdaterEnabled = boolAt(root, AppSettings::kAutoUpdaterEnabledKey);
    values.skipLoginEnabled = boolAt(root, AppSettings::kSkipLoginEnabledKey);
    values.skipLoginUser = stringAt(root, AppSettings::kSkipLoginUserKey);
    values.skipLoginPassword = stringAt(root, AppSettings::kSkipLoginPasswordKey);
    values.autoLoginWithSkipLoginUser = boolAt(root, AppSettings::kAutoLoginWithSkipLoginUserKey);
    values.htaccessUser = stringAt(root, AppSettings::kHtaccessUserKey);
    values.htaccessPassword = stringAt(root, AppSettings::kHtaccessPasswordKey);
    values.pageSelectionEnabled = boolAt(root, AppSettings::kPageSelectionEnabledKey);
    values.staticLocaleId = stringAt(root, AppSettings::kStaticLocaleIdKey);
    values.timestampSyncEnabled = boolAt(root, AppSettings::kTimestampSyncEnabledKey);
    values.passwordResetEnabled = boolAt(root, AppSettings::kPasswordResetEnabledKey);
    values.additionalShareBCCRecipients =
        stringsAt(root, AppSettings::kAdditionalShareBCCRecipientsKey);
    values.enableFavoriteSync = boolAt(root, AppSettings::kEnableFavoriteSyncKey);
    values.biometricAuthEnabled = boolAt(root, AppSettings::kBiometricAuthEnabledKey);
    values.trackingOptInPromptEnabled = boolAt(root, AppSettings::kTrackingOptInPromptKey);
    values.instantSearchResultsEnabled = boolAt(root, AppSettings::kInstantSearchResultsEnabledKey);
    if (auto bundle = stringAt(root, AppSettings::kCABundleKey); bundle && !bundle->empty()) {
        // A deployment ships its authority next to its configuration.
        values.caBundle = (path.parent_path() / *bundle).lexically_normal().string();
    }
    return values;
}

AppSettings::Path pathLocked() {
    return gOverridePath ? *gOverridePath : AppSettings::resolveSettingsPath(std::nullopt);
}

// The kept values, read on the first call. Handing out a shared pointer keeps them alive for
// a caller even when a test replaces the path meanwhile.
std::shared_ptr<const Values> values() {
    std::lock_guard lock(gMutex);
    if (!gValues) {
        gValues = std::make_shared<const Values>(readValues(pathLocked()));
    }
    return gValues;
}

}  // namespace

std::optional<std::string> AppSettings::cmsUrl() {
    return values()->cmsUrl;
}
std::optional<std::string> AppSettings::loginSecret() {
    return values()->loginSecret;
}
bool AppSettings::autoUpdaterEnabled() {
    return values()->autoUpdaterEnabled;
}
bool AppSettings::skipLoginEnabled() {
    return values()->skipLoginEnabled;
}
std::optional<std::string> AppSettings::skipLoginUser() {
    return values()->skipLoginUser;
}
std::optional<std::string> AppSettings::skipLoginPassword() {
    return values()->skipLoginPassword;
}
bool AppSettings::autoLoginWithSkipLoginUser() {
    return values()->autoLoginWithSkipLoginUser;
}
std::optional<std::string> AppSettings::htaccessUser() {
    return values()->htaccessUser;
}
std::optional<std::string> AppSettings::htaccessPassword() {
    return values()->htaccessPassword;
}
bool AppSettings::pageSelectionEnabled() {
    return values()->pageSelectionEnabled;
}
std::optional<std::string> AppSettings::staticLocaleId() {
    return values()->staticLocaleId;
}
bool AppSettings::timestampSyncEnabled() {
    return values()->timestampSyncEnabled;
}
bool AppSettings::passwordResetEnabled() {
    return values()->passwordResetEnabled;
}
std::vector<std::string> AppSettings::additionalShareBCCRecipients() {
    return values()->additionalShareBCCRecipients;
}
bool AppSettings::enableFavoriteSync() {
    return values()->enableFavoriteSync;
}
bool AppSettings::biometricAuthEnabled() {
    return values()->biometricAuthEnabled;
}
bool AppSettings::trackingOptInPromptEnabled() {
    return values()->trackingOptInPromptEnabled;
}
bool AppSettings::instantSearchResultsEnabled() {
    return values()->instantSearchResultsEnabled;
}

std::optional<std::string> AppSettings::caBundlePath() {
    if (const char* fromEnvironment = std::getenv(kCABundleVariable);
        fromEnvironment && *fromEnvironment) {
        return std::string(fromEnvironment);
    }
    return values()->caBundle;
}

std::optional<Error> AppSettings::loadError() {
    return values()->loadError;
}

void AppSettings::_setSettingsPath(Path path) {
    std::lock_guard lock(gMutex);
    gOverridePath = path.empty() ? std::nullopt : std::optional<Path>(std::move(path));
    gValues.reset();
}

AppSettings::Path AppSettings::settingsPath() {
    std::lock_guard lock(gMutex);
    return pathLocked();
}

AppSettings::Path AppSettings::resolveSettingsPath(const std::optional<Path>& option) {
    if (option && !option->empty()) {
        return *option;
    }
    if (const char* fromEnvironment = std::getenv(kPathVariable);
        fromEnvironment && *fromEnvironment) {
        return Path(fromEnvironment);
    }
    return ShippedResources::path(kShippedFileName);
}

}  // namespace pagewell
