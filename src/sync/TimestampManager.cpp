#include "sync/TimestampManager.h"

#include <fmt/format.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <mutex>
#include <utility>

#include "platform/Logger.h"
#include "platform/UserDefaults.h"

namespace pagewell {

namespace {

// Serialises every read-modify-write of a timestamp entry: the importer may save from a worker
// thread while the main thread resets.
std::mutex& entryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Lower-cased (full case folding) and without combining marks, so that "kİmportTimestampDictKey"
// or "KIMPORTTIMESTAMPDICTKEY" match the marker as the platform's case- and
// diacritic-insensitive comparison does.
std::string foldedForMatching(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(source, status) : source;
    if (U_FAILURE(status)) {
        decomposed = source;
    }
    icu::UnicodeString stripped;
    for (int32_t index = 0; index < decomposed.length();) {
        UChar32 c = decomposed.char32At(index);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            stripped.append(c);
        }
        index += U16_LENGTH(c);
    }
    stripped.foldCase();
    std::string result;
    stripped.toUTF8String(result);
    return result;
}

std::string categoryKey(const std::string& categoryID) {
    return fmt::format("{}_{}", TimestampManager::kCatItemTimestampDictKey, categoryID);
}

}  // namespace

TimestampManager::TimestampManager(Sources sources) : sources_(std::move(sources)) {}

std::string TimestampManager::entryKey(const std::string& userName, const std::string& localeID) {
    return fmt::format("{}_{}_{}", kImportTimestampDictKey, userName, localeID);
}

std::optional<std::string> TimestampManager::currentEntryKey() const {
    std::optional<std::string> user =
        sources_.currentUserName ? sources_.currentUserName() : std::nullopt;
    std::optional<std::string> locale =
        sources_.currentLocaleID ? sources_.currentLocaleID() : std::nullopt;
    if (!user || user->empty() || !locale || locale->empty()) {
        return std::nullopt;
    }
    return entryKey(*user, *locale);
}

bool TimestampManager::enabled() const {
    return sources_.timestampSyncEnabled && sources_.timestampSyncEnabled();
}

std::string TimestampManager::read(const std::string& timestampKey) const {
    if (!enabled()) {
        return kNoTimestamp;
    }
    std::optional<std::string> key = currentEntryKey();
    if (!key) {
        return kNoTimestamp;
    }
    std::lock_guard lock(entryMutex());
    std::optional<PlistValue> entry = UserDefaults::shared().get(*key);
    const PlistValue* value = entry ? entry->find(timestampKey) : nullptr;
    if (value == nullptr) {
        return kNoTimestamp;
    }
    // Older entries may hold the server's number rather than its text.
    std::string text =
        value->isInteger() ? std::to_string(value->integerValue()) : value->stringValue();
    return text.empty() ? std::string(kNoTimestamp) : text;
}

void TimestampManager::write(const std::string& timestampKey,
                             const std::optional<std::string>& timestamp) {
    if (!enabled()) {
        return;
    }
    std::optional<std::string> key = currentEntryKey();
    if (!key) {
        return;
    }
    std::lock_guard lock(entryMutex());
    UserDefaults& defaults = UserDefaults::shared();
    std::optional<PlistValue> stored = defaults.get(*key);
    PlistDict entry;
    if (stored && stored->dict() != nullptr) {
        entry = *stored->dict();
    }
    if (timestamp) {
        entry[timestampKey] = PlistValue(*timestamp);
    } else if (entry.erase(timestampKey) == 0) {
        return;
    }
    // A failed write keeps the value in memory; the next successful write stores it.
    if (Status written = defaults.set(*key, PlistValue(std::move(entry))); !written.ok()) {
        PW_LOG_ERROR_VALUE(written.error());
    }
}

std::string TimestampManager::timestampForCategoryList() const {
    return read(kCatListTimestampDictKey);
}

std::string TimestampManager::timestampForAllFilesForSync() const {
    return read(kAllFilesSyncTimestampDictKey);
}

std::string TimestampManager::timestampForCategoryID(const std::string& categoryID) const {
    if (categoryID.empty()) {
        return kNoTimestamp;
    }
    return read(categoryKey(categoryID));
}

std::string TimestampManager::timestampForHighlights() const {
    return read(categoryKey(kHighlightCategoryID));
}

void TimestampManager::saveTimestampForCategoryList(const std::string& timestamp) {
    write(kCatListTimestampDictKey, timestamp);
}

void TimestampManager::saveTimestampForAllFilesForSync(const std::string& timestamp) {
    write(kAllFilesSyncTimestampDictKey, timestamp);
}

void TimestampManager::saveTimestamp(const std::string& timestamp, const std::string& categoryID) {
    if (categoryID.empty()) {
        return;
    }
    write(categoryKey(categoryID), timestamp);
}

void TimestampManager::saveTimeStampForHighlights(const std::string& timestamp) {
    write(categoryKey(kHighlightCategoryID), timestamp);
}

void TimestampManager::deleteTimestampForCategoryWithID(const std::string& categoryID) {
    if (categoryID.empty()) {
        return;
    }
    write(categoryKey(categoryID), std::nullopt);
}

void TimestampManager::resetAllTimestampsForCurrentUser() {
    PW_LOG_INFO("{}", kResettingCurrentUserMessage);
    std::optional<std::string> key = currentEntryKey();
    if (!key) {
        return;
    }
    std::lock_guard lock(entryMutex());
    UserDefaults& defaults = UserDefaults::shared();
    if (!defaults.contains(*key)) {
        return;
    }
    if (Status removed = defaults.remove(*key); !removed.ok()) {
        PW_LOG_ERROR_VALUE(removed.error());
    }
}

void TimestampManager::resetAllTimestamps() {
    PW_LOG_INFO("{}", kResettingAllMessage);
    const std::string marker = foldedForMatching(kImportTimestampDictKey);
    std::lock_guard lock(entryMutex());
    UserDefaults& defaults = UserDefaults::shared();
    for (const std::string& key : defaults.allKeys()) {
        if (foldedForMatching(key).find(marker) == std::string::npos) {
            continue;
        }
        if (Status removed = defaults.remove(key); !removed.ok()) {
            PW_LOG_ERROR_VALUE(removed.error());
        }
    }
}

}  // namespace pagewell
