#include "app/LanguageSwitcher.h"

#include <cstdlib>

#include "app/ShippedResources.h"
#include "platform/Logger.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"

namespace pagewell {

namespace {

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<LanguageSwitcher>& sharedSlot() {
    static std::shared_ptr<LanguageSwitcher> switcher;
    return switcher;
}

// "de_DE.UTF-8" → "de"; "C" and "POSIX" name no language.
std::string languageOfLocaleName(const std::string& name) {
    std::string code = name.substr(0, name.find_first_of("-_.@:"));
    if (code.empty() || code == "C" || code == "POSIX") {
        return {};
    }
    return code;
}

std::map<std::string, std::string> readTable(const std::filesystem::path& path) {
    std::map<std::string, std::string> table;
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) {
        return table;
    }
    auto read = PropertyList::readFile(path.string());
    if (!read.ok() || !read.value().dict()) {
        PW_LOG_ERROR("Could not read the text table {}", path.string());
        return table;
    }
    for (const auto& [key, value] : *read.value().dict()) {
        if (value.isString()) {
            table.emplace(key, value.stringValue());
        }
    }
    return table;
}

}  // namespace

LanguageSwitcher::LanguageSwitcher(Path resources, std::string language)
    : resources_(std::move(resources)) {
    setLanguage(language.empty() ? kFallbackLanguage : language);
}

std::string LanguageSwitcher::get(const std::string& key, const std::string& alter) const {
    std::lock_guard lock(mutex_);
    auto found = table_.find(key);
    return found == table_.end() ? alter : found->second;
}

void LanguageSwitcher::setLanguage(const std::string& code) {
    if (code.empty()) {
        return;
    }
    // Read outside the lock: a lookup on another thread never waits for the disk.
    auto table = readTable(tablePath(resources_, code));
    std::lock_guard lock(mutex_);
    language_ = code;
    table_ = std::move(table);
}

std::string LanguageSwitcher::getCurrentLanguage() const {
    std::lock_guard lock(mutex_);
    return language_;
}

LanguageSwitcher& LanguageSwitcher::shared() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot) {
        slot =
            std::make_shared<LanguageSwitcher>(ShippedResources::directory(), preferredLanguage());
    }
    return *slot;
}

void LanguageSwitcher::setShared(std::shared_ptr<LanguageSwitcher> switcher) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() = std::move(switcher);
}

std::string LanguageSwitcher::localized(const std::string& key, const std::string& alter) {
    return shared().get(key, alter);
}

std::string LanguageSwitcher::preferredLanguage() {
    if (auto languages = UserDefaults::shared().get(kPreferredLanguagesKey)) {
        if (const PlistArray* list = languages->array(); list && !list->empty()) {
            std::string first = languageOfLocaleName(list->front().stringValue());
            if (!first.empty()) {
                return first;
            }
        }
    }
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr) {
            std::string code = languageOfLocaleName(value);
            if (!code.empty()) {
                return code;
            }
        }
    }
    return kFallbackLanguage;
}

LanguageSwitcher::Path LanguageSwitcher::tablePath(const Path& resources, const std::string& code) {
    // The code names a folder: anything that could leave the resources is not a language.
    if (code.find_first_of("/\\") != std::string::npos || code == "." || code == "..") {
        return resources / "invalid.lproj" / kTableFileName;
    }
    return resources / (code + "." + kBundleType) / kTableFileName;
}

}  // namespace pagewell
