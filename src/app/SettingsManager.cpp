#include "app/SettingsManager.h"

#include <openssl/evp.h>

#include <system_error>

#include "app/SettingKeys.h"
#include "app/ShippedResources.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

std::mutex gSharedMutex;
std::shared_ptr<SettingsManager> gShared;  // guarded by gSharedMutex

bool hasKey(const PlistValue& dictionary, const std::string& key) {
    const PlistValue* member = dictionary.find(settings::kKeyMember);
    return member != nullptr && member->isString() && member->stringValue() == key;
}

// Calls `visit` for every group dictionary whose "key" is `group`, in file order. Works on
// const and mutable roots alike; entries that are not dictionaries are skipped.
template <class Root, class Visit>
void forEachGroup(Root& root, const std::string& group, Visit&& visit) {
    auto* groups = root.find(settings::kGroupsMember);
    if (groups == nullptr || groups->array() == nullptr) {
        return;
    }
    for (auto& candidate : *groups->array()) {
        if (candidate.isDict() && hasKey(candidate, group)) {
            visit(candidate);
        }
    }
}

// Calls `visit` for every setting `key` of every group `group`: the walk never stops at the
// first match, so duplicate keys all see the call and the last one has the final word.
template <class Root, class Visit>
void forEachSetting(Root& root, const std::string& group, const std::string& key, Visit&& visit) {
    forEachGroup(root, group, [&](auto& groupValue) {
        auto* list = groupValue.find(settings::kSettingsMember);
        if (list == nullptr || list->array() == nullptr) {
            return;
        }
        for (auto& setting : *list->array()) {
            if (setting.isDict() && hasKey(setting, key)) {
                visit(setting);
            }
        }
    });
}

// The settings file's shape: a dictionary whose "Groups" is an array.
Result<PlistValue> parseSettings(std::string_view bytes, const std::filesystem::path& path) {
    auto parsed = PropertyList::parse(bytes);
    if (!parsed.ok()) {
        return Error::make(SettingsManager::kErrorDomain, SettingsManager::kDamagedSettings,
                           "the settings file " + path.string() + " is not a property list");
    }
    const PlistValue* groups = parsed.value().find(settings::kGroupsMember);
    if (groups == nullptr || !groups->isArray()) {
        return Error::make(SettingsManager::kErrorDomain, SettingsManager::kDamagedSettings,
                           "the settings file " + path.string() + " has no \"Groups\" list");
    }
    return parsed;
}

// Carries the old values into the new settings: for every same-key group pair and every
// same-key setting pair within it, the new setting takes the old "value" (an old setting
// without one leaves the new one without one). Everything else comes from the new release.
void carryOverValues(const PlistValue& oldSettings, PlistValue& newSettings) {
    PlistValue* newGroups = newSettings.find(settings::kGroupsMember);
    if (newGroups == nullptr || newGroups->array() == nullptr) {
        return;
    }
    for (PlistValue& newGroup : *newGroups->array()) {
        const PlistValue* groupKey = newGroup.find(settings::kKeyMember);
        PlistValue* newList = newGroup.find(settings::kSettingsMember);
        if (groupKey == nullptr || !groupKey->isString() || newList == nullptr ||
            newList->array() == nullptr) {
            continue;
        }
        for (PlistValue& newSetting : *newList->array()) {
            const PlistValue* settingKey = newSetting.find(settings::kKeyMember);
            if (!newSetting.isDict() || settingKey == nullptr || !settingKey->isString()) {
                continue;
            }
            forEachSetting(
                oldSettings, groupKey->stringValue(), settingKey->stringValue(),
                [&](const PlistValue& oldSetting) {
                    PlistDict& target = *newSetting.dict();
                    if (const PlistValue* old = oldSetting.find(settings::kValueMember)) {
                        target[settings::kValueMember] = *old;
                    } else {
                        target.erase(settings::kValueMember);
                    }
                });
        }
    }
}

bool fileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

SettingsManager::SettingsManager(Path documentsDirectory, Path shippedDefaults, FileWriter writer)
    : documentsDirectory_(std::move(documentsDirectory)),
      livePath_(documentsDirectory_ / kLiveFileName),
      shippedPath_(std::move(shippedDefaults)),
      writer_(writer ? std::move(writer) : FileWriter(&FileSystem::writeFileAtomically)) {
    std::lock_guard lock(mutex_);
    _open();
}

SettingsManager& SettingsManager::sharedInstance() {
    std::lock_guard lock(gSharedMutex);
    if (!gShared) {
        gShared = std::make_shared<SettingsManager>(FileAreas::shared().documents(),
                                                    ShippedResources::path(kShippedFileName));
    }
    return *gShared;
}

void SettingsManager::setSharedInstance(std::shared_ptr<SettingsManager> manager) {
    std::lock_guard lock(gSharedMutex);
    gShared = std::move(manager);
}

std::string SettingsManager::md5Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0f]);
    }
    return text;
}

Status SettingsManager::_fail(Error error, std::optional<Error>& slot) {
    PW_LOG_ERROR_VALUE(error);
    slot = error;
    return error;
}

Result<std::string> SettingsManager::_readShipped() const {
    auto bytes = FileSystem::readFile(shippedPath_);
    if (!bytes.ok()) {
        return Error::make(
            kErrorDomain, kShippedUnreadable,
            "the shipped settings defaults cannot be read (" + bytes.error().description + ")");
    }
    return bytes;
}

Status SettingsManager::_createLiveFileIfMissing() {
    if (fileExists(livePath_)) {
        return {};
    }
    auto shipped = _readShipped();
    if (!shipped.ok()) {
        return shipped.error();
    }
    // A damaged shipped file must not become the user's live file, where it would stay after
    // a repaired release arrives.
    if (auto parsed = parseSettings(shipped.value(), shippedPath_); !parsed.ok()) {
        return Error::make(
            kErrorDomain, kShippedUnreadable,
            "the shipped settings defaults are damaged (" + parsed.error().description + ")");
    }
    if (auto made = FileSystem::createDirectories(documentsDirectory_); !made.ok()) {
        return made;
    }
    return writer_(livePath_, shipped.value());
}

void SettingsManager::_open() {
    // 1. The live file, copied from the shipped defaults when missing.
    if (auto created = _createLiveFileIfMissing(); !created.ok()) {
        (void)_fail(created.error(), loadError_);
        return;
    }
    auto liveBytes = FileSystem::readFile(livePath_);
    if (!liveBytes.ok()) {
        (void)_fail(liveBytes.error(), loadError_);
        return;
    }
    // 2. The snapshot of the release that last wrote the live file.
    const Path snapshot = snapshotPath();
    if (!fileExists(snapshot)) {
        if (auto copied = writer_(snapshot, liveBytes.value()); !copied.ok()) {
            (void)_fail(copied.error(), updateError_);
        }
    }
    // 3. The live settings in memory; a damaged file stays untouched and the store empty.
    auto live = parseSettings(liveBytes.value(), livePath_);
    if (!live.ok()) {
        (void)_fail(live.error(), loadError_);
        return;
    }
    settings_ = std::move(live).value();
    // 4. A new release is one whose shipped file differs from the snapshot. A missing or
    // unreadable snapshot counts as different: the merge keeps every value and restores it.
    auto shipped = _readShipped();
    if (!shipped.ok()) {
        (void)_fail(shipped.error(), updateError_);
        return;
    }
    auto snapshotBytes = FileSystem::readFile(snapshot);
    if (snapshotBytes.ok() && md5Hex(snapshotBytes.value()) == md5Hex(shipped.value())) {
        return;
    }
    (void)_syncNewSettings(shipped.value());
}

// The merge is built completely in memory and replaces the live file in one rename, so a
// failure at any step leaves the previous live file, the previous snapshot and the previous
// in-memory settings; the next start then tries again.
Status SettingsManager::_syncNewSettings(const std::string& shippedBytes) {
    auto fresh = parseSettings(shippedBytes, shippedPath_);
    if (!fresh.ok()) {
        return _fail(Error::make(kErrorDomain, kShippedUnreadable,
                                 "the shipped settings defaults are damaged (" +
                                     fresh.error().description + ")"),
                     updateError_);
    }
    PlistValue merged = std::move(fresh).value();
    carryOverValues(settings_, merged);
    if (auto written = writer_(livePath_, PropertyList::toXml(merged)); !written.ok()) {
        return _fail(written.error(), updateError_);
    }
    settings_ = std::move(merged);
    if (auto copied = writer_(snapshotPath(), shippedBytes); !copied.ok()) {
        return _fail(copied.error(), updateError_);
    }
    return {};
}

std::optional<PlistValue> SettingsManager::getSettingInGroup(const std::string& group,
                                                             const std::string& key) const {
    std::lock_guard lock(mutex_);
    std::optional<PlistValue> result;
    forEachSetting(settings_, group, key, [&](const PlistValue& setting) {
        const PlistValue* value = setting.find(settings::kValueMember);
        result = value ? std::optional<PlistValue>(*value) : std::nullopt;
    });
    return result;
}

Status SettingsManager::writeSettingInGroup(const std::string& group, const std::string& key,
                                            PlistValue value) {
    std::lock_guard lock(mutex_);
    if (loadError_) {
        Error refused = Error::make(kErrorDomain, kStoreUnusable,
                                    "the settings file " + livePath_.string() +
                                        " could not be loaded, so no setting is written over it (" +
                                        loadError_->description + ")");
        PW_LOG_ERROR_VALUE(refused);
        return refused;
    }
    PlistValue updated = settings_;
    int matches = 0;
    forEachSetting(updated, group, key, [&](PlistValue& setting) {
        (*setting.dict())[settings::kValueMember] = value;
        ++matches;
    });
    if (matches == 0) {
        Error missing = Error::make(kErrorDomain, kSettingNotFound,
                                    "no setting \"" + key + "\" in group \"" + group + "\"");
        PW_LOG_ERROR_VALUE(missing);
        return missing;
    }
    if (auto written = writer_(livePath_, PropertyList::toXml(updated)); !written.ok()) {
        PW_LOG_ERROR_VALUE(written.error());
        return written;
    }
    settings_ = std::move(updated);
    return {};
}

PlistArray SettingsManager::getSettingGroups() const {
    std::lock_guard lock(mutex_);
    const PlistValue* groups = settings_.find(settings::kGroupsMember);
    if (groups == nullptr || groups->array() == nullptr) {
        return {};
    }
    return *groups->array();
}

std::optional<PlistDict> SettingsManager::getSettingsForGroup(const std::string& key) const {
    std::lock_guard lock(mutex_);
    std::optional<PlistDict> result;
    forEachGroup(settings_, key, [&](const PlistValue& group) { result = *group.dict(); });
    return result;
}

std::optional<PlistDict> SettingsManager::getSettingDictionary(const std::string& group,
                                                               const std::string& key) const {
    std::lock_guard lock(mutex_);
    std::optional<PlistDict> result;
    forEachSetting(settings_, group, key,
                   [&](const PlistValue& setting) { result = *setting.dict(); });
    return result;
}

std::optional<SettingsManager::Path> SettingsManager::getPathForWritablePlist() {
    std::lock_guard lock(mutex_);
    if (auto created = _createLiveFileIfMissing(); !created.ok()) {
        PW_LOG_ERROR_VALUE(created.error());
        return std::nullopt;
    }
    return livePath_;
}

std::optional<Error> SettingsManager::loadError() const {
    std::lock_guard lock(mutex_);
    return loadError_;
}

std::optional<Error> SettingsManager::updateError() const {
    std::lock_guard lock(mutex_);
    return updateError_;
}

}  // namespace pagewell
