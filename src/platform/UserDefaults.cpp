#include "platform/UserDefaults.h"

#include <system_error>

#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {
std::mutex gDefaultsMutex;
std::shared_ptr<UserDefaults> gDefaults;  // guarded by gDefaultsMutex
}  // namespace

UserDefaults::UserDefaults(Path file) : file_(std::move(file)) {
    std::error_code ec;
    const auto status = std::filesystem::status(file_, ec);
    if (!std::filesystem::exists(status)) {
        return;
    }
    if (!std::filesystem::is_regular_file(status)) {
        PW_LOG_ERROR("User defaults {} is not a file, starting empty", file_.string());
        return;
    }
    auto loaded = PropertyList::readFile(file_.string());
    if (!loaded.ok()) {
        PW_LOG_ERROR("User defaults {} cannot be read, starting empty: {}", file_.string(),
                     loaded.error().description);
        return;
    }
    if (auto* dict = loaded.value().dict()) {
        values_ = std::move(*dict);
    } else {
        PW_LOG_ERROR("User defaults {} do not hold a dictionary, starting empty", file_.string());
    }
}

std::optional<PlistValue> UserDefaults::get(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = values_.find(key); it != values_.end()) {
        return it->second;
    }
    return std::nullopt;
}

bool UserDefaults::contains(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.count(key) != 0;
}

std::vector<std::string> UserDefaults::allKeys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    keys.reserve(values_.size());
    for (const auto& entry : values_) {
        keys.push_back(entry.first);
    }
    return keys;
}

std::string UserDefaults::stringValue(const std::string& key, const std::string& fallback) const {
    auto value = get(key);
    return value ? value->stringValue(fallback) : fallback;
}

bool UserDefaults::boolValue(const std::string& key, bool fallback) const {
    auto value = get(key);
    return value ? value->boolValue(fallback) : fallback;
}

std::int64_t UserDefaults::integerValue(const std::string& key, std::int64_t fallback) const {
    auto value = get(key);
    return value ? value->integerValue(fallback) : fallback;
}

double UserDefaults::realValue(const std::string& key, double fallback) const {
    auto value = get(key);
    return value ? value->realValue(fallback) : fallback;
}

Status UserDefaults::set(const std::string& key, PlistValue value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
    return writeLocked();
}

Status UserDefaults::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
    return writeLocked();
}

Status UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    return writeLocked();
}

Status UserDefaults::writeLocked() const {
    if (file_.has_parent_path()) {
        if (auto status = FileSystem::createDirectories(file_.parent_path()); !status.ok()) {
            return status;
        }
    }
    return PropertyList::writeFile(file_.string(), PlistValue(values_));
}

UserDefaults& UserDefaults::shared() {
    std::lock_guard lock(gDefaultsMutex);
    if (!gDefaults) {
        gDefaults = std::make_shared<UserDefaults>(FileAreas::shared().userDefaultsFile());
    }
    return *gDefaults;
}

void UserDefaults::setShared(std::shared_ptr<UserDefaults> defaults) {
    std::lock_guard lock(gDefaultsMutex);
    gDefaults = std::move(defaults);
}

}  // namespace pagewell
