#include "sync/FileImporter.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/HttpDate.h"
#include "platform/JsonDecoder.h"
#include "platform/Logger.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/EntityRows.h"
#include "store/FileCategory.h"
#include "store/FileSorting.h"
#include "store/FileState.h"
#include "store/JsonNumber.h"
#include "store/Locale.h"
#include "store/Resource.h"
#include "store/ServerDate.h"
#include "store/Thumbnail.h"
#include "sync/ImportJson.h"
#include "sync/ImportQueries.h"
#include "sync/ImportTransaction.h"
#include "sync/MassRemovalGuard.h"
#include "sync/TimestampManager.h"

namespace pagewell {

namespace {

Error importError(std::string description) {
    return Error::make(kAppErrorDomain, -1, std::move(description));
}

// "items" when present, else "highlights".
const nlohmann::json& fileObjects(const nlohmann::json& json) {
    return ImportJson::has(json, "items") ? json.at("items") : ImportJson::at(json, "highlights");
}

// The first key a file entry lacks of those its import needs: the identifier it is found by
// ("id" as decimal text), the title it is shown under, the address its copy comes from and the
// date that tells whether it changed (absent or null; a date in another form still imports, as
// no date). Such an entry makes the whole answer malformed: imported, it would blank the
// file's record, and the blank address would take the user's downloaded copy with it.
std::optional<std::string> missingFileKey(const nlohmann::json& entry) {
    if (!entry.is_object() || !ImportJson::itemID(entry)) {
        return "id";
    }
    if (!JsonNumber::text(entry, "title")) {
        return "title";
    }
    if (std::optional<std::string> location = JsonNumber::text(entry, "file_location");
        !location || location->empty()) {
        return "file_location";
    }
    if (ImportJson::at(entry, "time_modified").is_null()) {
        return "time_modified";
    }
    return std::nullopt;
}

// The answer's shape, checked before the first write.
Status validateFileList(const nlohmann::json& json) {
    if (!json.is_object()) {
        PW_LOG_ERROR(FileImporter::kNoDictionaryMessage);
        return importError(FileImporter::kNoDictionaryMessage);
    }
    if (!fileObjects(json).is_array()) {
        PW_LOG_ERROR(FileImporter::kNoFilesMessage);
        return importError(FileImporter::kNoFilesMessage);
    }
    for (const char* key : {"remove", "delete"}) {
        if (ImportJson::has(json, key) && !json.at(key).is_array()) {
            std::string message = fmt::format("File list with \"{}\" that is not an array (<{}>)",
                                              key, json.at(key).type_name());
            PW_LOG_ERROR("{}", message);
            return importError(message);
        }
    }
    std::size_t index = 0;
    nlohmann::json unpacked;
    for (const auto& packed : fileObjects(json)) {
        const nlohmann::json& entry = JsonDecoder::unpack(packed, unpacked);
        if (std::optional<std::string> missing = missingFileKey(entry)) {
            if (!ImportJson::itemID(entry)) {
                PW_LOG_ERROR(FileImporter::kInvalidPropertiesMessage);
            }
            std::string message = fmt::format(FileImporter::kMissingKeyMessage, index, *missing);
            PW_LOG_ERROR("{}", message);
            return importError(message);
        }
        ++index;
    }
    return {};
}

struct ProximityLink {
    const char* joinTable;
    const char* joinColumn;
    const char* entityTable;
};

// Replaces the file's links of one kind by the records named in `ids`; unknown IDs are skipped.
Status replaceLinks(StoreContext& context, std::int64_t fileKey, const ProximityLink& link,
                    const std::vector<std::int64_t>& ids) {
    Database& db = context.database();
    std::string clear = fmt::format("DELETE FROM {} WHERE file = ?", link.joinTable);
    if (Status cleared = db.run(clear, fileKey); !cleared.ok()) {
        return cleared;
    }
    std::string insert =
        fmt::format("INSERT OR IGNORE INTO {} (file, {}) SELECT ?, pk FROM {} WHERE cmsID = ?",
                    link.joinTable, link.joinColumn, link.entityTable);
    for (std::int64_t id : ids) {
        if (Status linked = db.run(insert, fileKey, id); !linked.ok()) {
            return linked;
        }
    }
    return {};
}

Status linkProximityEntries(StoreContext& context, std::int64_t fileKey,
                            const nlohmann::json& properties) {
    static const ProximityLink beacons{"File_beacons", "beacon", "Beacon"};
    static const ProximityLink customers{"File_customers", "customer", "CustomerLocation"};
    static const ProximityLink groups{"File_customerGroups", "customerGroup",
                                      "CustomerLocationGroup"};
    static const ProximityLink qrcodes{"File_qrcodes", "qrcode", "QRCode"};
    // The server announces groups as "customerGroups" but has filled "customergroups";
    // whichever holds the list is read, the lower-case key first.
    const char* groupKey = ImportJson::at(properties, "customergroups").is_array()
                               ? "customergroups"
                               : "customerGroups";
    const std::pair<const char*, const ProximityLink*> kinds[] = {{"beacons", &beacons},
                                                                  {"customers", &customers},
                                                                  {groupKey, &groups},
                                                                  {"qrcodes", &qrcodes}};
    for (const auto& [key, link] : kinds) {
        if (!ImportJson::at(properties, key).is_array()) {
            continue;
        }
        if (Status replaced =
                replaceLinks(context, fileKey, *link, ImportJson::textIDList(properties, key));
            !replaced.ok()) {
            return replaced;
        }
    }
    return {};
}

// The answer's thumbnail objects by "id" (the first of a repeated id), found once per answer:
// looked up by walking the list for every file, a category of N files cost N² comparisons.
class ThumbnailIndex {
  public:
    explicit ThumbnailIndex(const nlohmann::json& thumbnails) {
        if (!thumbnails.is_array()) {
            return;
        }
        nlohmann::json unpacked;
        for (const auto& packed : thumbnails) {
            const nlohmann::json& candidate = JsonDecoder::unpack(packed, unpacked);
            if (!candidate.is_object()) {
                continue;
            }
            if (auto id = JsonNumber::integer(candidate, "id")) {
                byID_.try_emplace(*id, &packed);
            }
        }
    }

    // The thumbnail object with `id` (unpacked into `storage` when it is packed); none when
    // the answer has none.
    const nlohmann::json* find(std::optional<std::int64_t> id, nlohmann::json& storage) const {
        auto found = id ? byID_.find(*id) : byID_.end();
        return found == byID_.end() ? nullptr : &JsonDecoder::unpack(*found->second, storage);
    }

  private:
    std::unordered_map<std::int64_t, const nlohmann::json*> byID_;
};

Status attachThumbnail(StoreContext& context, const File& file, const ThumbnailIndex& thumbnails,
                       const nlohmann::json& properties) {
    static const nlohmann::json kNone = nlohmann::json::object();
    nlohmann::json unpacked;
    const nlohmann::json* found =
        thumbnails.find(JsonNumber::integer(properties, "thumbnail_id"), unpacked);
    const nlohmann::json* match = found ? found : &kNone;
    auto existing = Thumbnail::thumbnailOfFile(context, file.pk);
    if (!existing.ok()) {
        return existing.error();
    }
    Thumbnail thumbnail = existing.value().value_or(Thumbnail{});
    thumbnail.setProperties(context, *match);
    if (match == &kNone) {
        // No image answers for this file: it keeps an empty record a download cannot complete.
        thumbnail.size = 0;
        thumbnail.cmsID = 0;
    }
    if (Status written = thumbnail.update(context); !written.ok()) {
        return written;
    }
    return thumbnail.addFile(context, file.pk);
}

Status replaceResources(StoreContext& context, const File& file, const nlohmann::json& json,
                        const nlohmann::json& properties) {
    auto existing = Resource::resourcesOfFile(context, file.pk);
    if (!existing.ok()) {
        return existing.error();
    }
    for (Resource& resource : existing.value()) {
        if (Status deleted = resource.deleteRecord(context); !deleted.ok()) {
            return deleted;
        }
    }
    const nlohmann::json& assets = ImportJson::at(json, "assets");
    const nlohmann::json& annotationIDs = ImportJson::at(properties, "annotation_ids");
    if (!assets.is_array() || !annotationIDs.is_array()) {
        PW_LOG_WARNING(FileImporter::kMalformedAssetsMessage);
        return {};
    }
    std::vector<std::int64_t> wanted = ImportJson::idList(annotationIDs);
    std::set<std::int64_t> annotations(wanted.begin(), wanted.end());
    for (const auto& asset : assets) {
        auto annotation = JsonNumber::integer(asset, "annotation_id");
        if (!asset.is_object() || !annotation || annotations.count(*annotation) == 0) {
            continue;
        }
        nlohmann::json withPages = asset;
        withPages["annotations"] = ImportJson::at(json, "annotations");
        Resource resource;
        resource.fileKey = file.pk;
        resource.setProperties(withPages);
        if (Status written = resource.update(context); !written.ok()) {
            return written;
        }
    }
    return {};
}

// The server no longer lists the file for the current user. Deletes the record when no other
// user holds the file, else removes it for the current user only: the user's state is hidden
// as removed by the server (so no download shows it again), the copy goes when nobody else
// keeps it, and the user leaves `users`; another user keeps the file until the server removes
// it for them too, and then, holding it alone, the record goes. "Fewer than 2 users" alone
// would be wrong for a file the answer drops from two of its categories: the first one already
// takes the current user off `users`, and the second would then count the one remaining
// (other) user and delete the file from under them. Returns whether the file was in the
// user's catalogue of the language (it no longer is).
Result<bool> dropFile(StoreContext& context, File& file, std::optional<std::int64_t> user,
                      std::optional<std::int64_t> locale) {
    auto users = file.userKeys(context);
    if (!users.ok()) {
        return users.error();
    }
    bool held =
        user && std::find(users.value().begin(), users.value().end(), *user) != users.value().end();
    if (held && locale) {
        auto locales = file.localeKeys(context);
        if (!locales.ok()) {
            return locales.error();
        }
        held = std::find(locales.value().begin(), locales.value().end(), *locale) !=
               locales.value().end();
    }
    const auto others = static_cast<std::size_t>(
        std::count_if(users.value().begin(), users.value().end(),
                      [&](std::int64_t key) { return !user || key != *user; }));
    if (user ? others == 0 : others < 2) {
        if (Status deleted = file.deleteRecord(context); !deleted.ok()) {
            return deleted.error();
        }
        return held;
    }
    if (Status removed = file.deleteFile(context); !removed.ok()) {
        return removed.error();
    }
    if (!user) {
        return held;
    }
    auto state = file.fileStateForUser(context, *user);
    if (!state.ok()) {
        return state.error();
    }
    if (state.value()) {
        state.value()->pretendDeletion = true;
        state.value()->removedByServer = true;
        if (Status written = state.value()->update(context); !written.ok()) {
            return written.error();
        }
    }
    if (Status left = file.removeUser(context, *user); !left.ok()) {
        return left.error();
    }
    return held;
}

// How many files the removal part of a file-list answer may take at most, counted before the
// first write: the files on the list that the answer does not name (full form), or the
// "delete" list (change form). Below the guard's minimum no count of the catalogue is needed.
Result<std::size_t> removalCandidates(StoreContext& context, const nlohmann::json& json, bool full,
                                      const FileCategory* category,
                                      const std::set<std::int64_t>& itemIDs,
                                      std::optional<std::int64_t> user,
                                      std::optional<std::int64_t> locale) {
    if (!full) {
        return ImportJson::idList(json, "delete").size();
    }
    auto onList =
        category ? ImportQueries::keysWithIDs(
                       context,
                       "SELECT f.pk, f.cmsID FROM File_categories m JOIN File f ON f.pk = m.file "
                       "WHERE m.category = ?",
                       category->pk)
                 : ImportQueries::keysWithIDs(
                       context,
                       "SELECT f.pk, f.cmsID FROM File f WHERE f.highlight = 1 AND EXISTS "
                       "(SELECT 1 FROM File_locales l WHERE l.file = f.pk AND l.locale IS ?) AND "
                       "EXISTS (SELECT 1 FROM File_users u WHERE u.file = f.pk AND u.user IS ?)",
                       locale, user);
    if (!onList.ok()) {
        return onList.error();
    }
    return static_cast<std::size_t>(std::count_if(
        onList.value().begin(), onList.value().end(),
        [&](const auto& row) { return !row.second || itemIDs.count(*row.second) == 0; }));
}

// Whether the file is still on a list after leaving one: in a category, or a highlight. Such a
// file is only detached. Dropping it as soon as one list no longer names it would delete a
// file that another category of the same answer set still shows, and whether it then came
// back (as a new record, its download lost) would depend on which category import ran last.
Result<bool> stillListed(StoreContext& context, const File& file) {
    if (file.highlight) {
        return true;
    }
    auto categories = file.categoryKeys(context);
    if (!categories.ok()) {
        return categories.error();
    }
    return !categories.value().empty();
}

// Whether a full answer that no longer names the file takes it from the current user alone:
// other users hold it, and no other list of the user (a category the user is a member of, or
// the highlights) names it. The answer speaks for this user only, so the list (a category
// record or the highlight flag, which all users share) keeps the file for the others: taking
// it off would leave it on no list of theirs, and their own answers for that list, which no
// longer name it once the server deleted it, would then never find it to remove it.
Result<bool> removedForUserOnly(StoreContext& context, const File& file,
                                const FileCategory* category, std::optional<std::int64_t> user) {
    if (!user) {
        return false;
    }
    auto users = file.userKeys(context);
    if (!users.ok()) {
        return users.error();
    }
    if (std::none_of(users.value().begin(), users.value().end(),
                     [&](std::int64_t key) { return key != *user; })) {
        return false;
    }
    if (category && file.highlight) {
        return false;
    }
    auto elsewhere = EntityRows::first<std::int64_t>(
        context,
        "SELECT COUNT(*) FROM File_categories m JOIN FileCategory_users u ON "
        "u.category = m.category WHERE m.file = ? AND u.user = ? AND m.category IS NOT ?",
        [](Statement& row) { return row.integer(0); }, file.pk, *user,
        category ? std::optional<std::int64_t>(category->pk) : std::nullopt);
    if (!elsewhere.ok()) {
        return elsewhere.error();
    }
    return elsewhere.value().value_or(0) == 0;
}

// Takes the file off the list: the highlight flag or the category membership.
Status detach(StoreContext& context, File& file, const FileCategory* category) {
    if (!category) {
        file.highlight = false;
        return file.update(context);
    }
    return file.removeCategory(context, category->pk);
}

// The files currently on the list: the user's highlights, or every file of the category.
Result<std::vector<File>> filesOnList(StoreContext& context, const FileCategory* category,
                                      std::optional<std::int64_t> user,
                                      std::optional<std::int64_t> locale) {
    if (!category) {
        return File::highlightFiles(context, user, locale);
    }
    auto keys = category->fileKeys(context);
    if (!keys.ok()) {
        return keys.error();
    }
    std::vector<File> files;
    for (std::int64_t key : keys.value()) {
        auto file = File::find(context, key);
        if (!file.ok()) {
            return file.error();
        }
        if (file.value()) {
            files.push_back(*file.value());
        }
    }
    return files;
}

}  // namespace

std::mutex& FileImporter::fileImportLock() {
    static std::mutex lock;
    return lock;
}

bool FileImporter::fullAnswer(const nlohmann::json& json, std::int64_t categoryID) const {
    if (!ImportJson::has(json, "remove") || !timestamps_) {
        return true;
    }
    std::string timestamp = categoryID == kHighlightsCategoryID
                                ? timestamps_->timestampForHighlights()
                                : timestamps_->timestampForCategoryID(std::to_string(categoryID));
    return timestamp == TimestampManager::kNoTimestamp;
}

Status FileImporter::insertFilesWithJSON(const nlohmann::json& json, std::int64_t categoryID) {
    if (Status valid = validateFileList(json); !valid.ok()) {
        return valid;
    }
    PW_LOG_INFO(kStartingMessage, categoryID);
    Status imported = ImportTransaction::run(
        [&](StoreContext& context) { return importList(context, json, categoryID); });
    if (imported.ok()) {
        PW_LOG_INFO(kFinishedMessage, categoryID);
    }
    return imported;
}

Status FileImporter::importFilesWithJSON(const nlohmann::json& json) {
    if (Status valid = validateFileList(json); !valid.ok()) {
        return valid;
    }
    PW_LOG_INFO(kStartingPlainMessage);
    Status imported = ImportTransaction::run([&](StoreContext& context) -> Status {
        const ThumbnailIndex thumbnails(ImportJson::at(json, "thumbnails"));
        nlohmann::json unpacked;
        for (const auto& packed : fileObjects(json)) {
            const nlohmann::json& properties = JsonDecoder::unpack(packed, unpacked);
            auto file = importFileWithCategory(context, nullptr, properties);
            if (!file.ok()) {
                return file.error();
            }
            if (!file.value()) {
                continue;
            }
            if (Status s = attachThumbnail(context, *file.value(), thumbnails, properties);
                !s.ok()) {
                return s;
            }
            if (Status s = replaceResources(context, *file.value(), json, properties); !s.ok()) {
                return s;
            }
        }
        return {};
    });
    if (imported.ok()) {
        PW_LOG_INFO(kFinishedPlainMessage);
    }
    return imported;
}

Status FileImporter::importList(StoreContext& context, const nlohmann::json& json,
                                std::int64_t categoryID) {
    const std::optional<std::int64_t> user = CurrentSelection::userKey();
    const std::optional<std::int64_t> locale = CurrentSelection::localeKey();
    if (!locale) {
        return importError("No current locale for the file import");
    }
    std::optional<FileCategory> category;
    if (categoryID != kHighlightsCategoryID) {
        auto found = FileCategory::findWithID(context, categoryID, *locale);
        if (!found.ok()) {
            return found.error();
        }
        if (!found.value()) {
            std::string message = fmt::format(kNoCategoryMessage, categoryID);
            PW_LOG_ERROR("{}", message);
            return importError(message);
        }
        category = found.value();
    }
    const FileCategory* list = category ? &*category : nullptr;

    std::set<std::int64_t> itemIDs;
    nlohmann::json unpacked;
    for (const auto& packed : fileObjects(json)) {
        const nlohmann::json& properties = JsonDecoder::unpack(packed, unpacked);
        if (auto id = ImportJson::itemID(properties)) {
            itemIDs.insert(*id);
        }
    }
    const bool full = fullAnswer(json, categoryID);
    // What the user holds before the first write, taken only when the answer could remove
    // enough files to be a mass removal (see MassRemovalGuard).
    std::optional<std::int64_t> heldBefore;
    if (guard_ && user) {
        auto candidates = removalCandidates(context, json, full, list, itemIDs, user, locale);
        if (!candidates.ok()) {
            return candidates.error();
        }
        if (static_cast<std::int64_t>(candidates.value()) >= MassRemovalGuard::kMinimumFiles) {
            auto held = MassRemovalGuard::filesHeld(context, *user, *locale);
            if (!held.ok()) {
                return held.error();
            }
            heldBefore = held.value();
        }
    }
    std::int64_t removed = 0;
    // Files this answer took from the current user alone: the list keeps them for the others.
    std::set<std::int64_t> keptForOthers;

    const ThumbnailIndex thumbnails(ImportJson::at(json, "thumbnails"));
    for (const auto& packed : fileObjects(json)) {
        const nlohmann::json& properties = JsonDecoder::unpack(packed, unpacked);
        auto file = importFileWithCategory(context, list, properties);
        if (!file.ok()) {
            return file.error();
        }
        if (!file.value()) {
            continue;
        }
        if (Status s = attachThumbnail(context, *file.value(), thumbnails, properties); !s.ok()) {
            return s;
        }
        if (Status s = replaceResources(context, *file.value(), json, properties); !s.ok()) {
            return s;
        }
    }

    if (full) {
        auto current = filesOnList(context, list, user, locale);
        if (!current.ok()) {
            return current.error();
        }
        for (File& file : current.value()) {
            if (file.cmsID && itemIDs.count(*file.cmsID) > 0) {
                continue;
            }
            auto onlyForUser = removedForUserOnly(context, file, list, user);
            if (!onlyForUser.ok()) {
                return onlyForUser.error();
            }
            if (onlyForUser.value()) {
                keptForOthers.insert(file.pk);
                auto dropped = dropFile(context, file, user, locale);
                if (!dropped.ok()) {
                    return dropped.error();
                }
                removed += dropped.value() ? 1 : 0;
                continue;
            }
            if (Status s = detach(context, file, list); !s.ok()) {
                return s;
            }
            auto onAnotherList = stillListed(context, file);
            if (!onAnotherList.ok()) {
                return onAnotherList.error();
            }
            if (onAnotherList.value()) {
                continue;
            }
            auto dropped = dropFile(context, file, user, locale);
            if (!dropped.ok()) {
                return dropped.error();
            }
            removed += dropped.value() ? 1 : 0;
        }
    } else {
        for (std::int64_t id : ImportJson::idList(json, "remove")) {
            auto file = File::findWithCmsID(context, id);
            if (!file.ok()) {
                return file.error();
            }
            if (file.value()) {
                if (Status s = detach(context, *file.value(), list); !s.ok()) {
                    return s;
                }
            }
        }
        for (std::int64_t id : ImportJson::idList(json, "delete")) {
            auto file = File::findWithCmsID(context, id);
            if (!file.ok()) {
                return file.error();
            }
            if (!file.value()) {
                continue;
            }
            // Deleted on the server: the same removal as a full list that no longer names it,
            // so the user leaves the file and other users keep it.
            auto dropped = dropFile(context, *file.value(), user, locale);
            if (!dropped.ok()) {
                return dropped.error();
            }
            removed += dropped.value() ? 1 : 0;
        }
    }
    if (heldBefore && guard_ && !guard_->admit({removed, *heldBefore})) {
        // The transaction rolls back: nothing of this answer is kept, on disk either.
        return MassRemovalGuard::heldBackError({removed, *heldBefore});
    }

    // Without a "delete" list the answer names every file of the list: whatever else is on
    // it leaves the list (already done by the full form; a change answer without deletions
    // gets it here).
    if (!ImportJson::has(json, "delete")) {
        auto current = filesOnList(context, list, user, locale);
        if (!current.ok()) {
            return current.error();
        }
        for (File& file : current.value()) {
            if (keptForOthers.count(file.pk) > 0) {
                continue;
            }
            if (!file.cmsID || itemIDs.count(*file.cmsID) == 0) {
                if (Status s = detach(context, file, list); !s.ok()) {
                    return s;
                }
            }
        }
    }
    for (const char* entity : {File::kEntity, FileCategory::kEntity, FileState::kEntity,
                               FileSorting::kEntity, "Thumbnail", "Resource"}) {
        context.noteChanged(entity);
    }
    return {};
}

Result<std::optional<File>> FileImporter::importFileWithCategory(StoreContext& context,
                                                                 const FileCategory* category,
                                                                 const nlohmann::json& properties) {
    auto id = ImportJson::itemID(properties);
    if (!properties.is_object() || !id) {
        PW_LOG_WARNING(kInvalidPropertiesMessage);
        return std::optional<File>();
    }
    const std::optional<std::int64_t> user = CurrentSelection::userKey();
    const std::optional<std::int64_t> localeKey = CurrentSelection::localeKey();
    if (!localeKey) {
        return importError("No current locale for the file import");
    }
    auto locale = Locale::find(context, *localeKey);
    if (!locale.ok()) {
        return locale.error();
    }
    if (!locale.value()) {
        return importError("The current locale is not in the store");
    }

    File file;
    bool isNew = false;
    {
        std::lock_guard lock(fileImportLock());
        auto existing = File::findWithCmsID(context, *id);
        if (!existing.ok()) {
            return existing.error();
        }
        isNew = !existing.value();
        auto found = File::fileWithId(context, *id, *localeKey);
        if (!found.ok()) {
            return found.error();
        }
        if (!found.value()) {
            return importError(fmt::format("File {} could not be made", *id));
        }
        file = *found.value();
        if (category) {
            if (Status s = file.addCategory(context, category->pk); !s.ok()) {
                return s.error();
            }
        }
        if (user) {
            if (Status s = file.addUser(context, *user); !s.ok()) {
                return s.error();
            }
            auto state = file.addFileStateForUser(context, *user);
            if (!state.ok()) {
                return state.error();
            }
            if (state.value() && state.value()->removedByServer) {
                // Listed again: the server's removal is over. The file stays hidden as if the
                // user had removed it, so the next download brings it back.
                state.value()->removedByServer = false;
                if (Status s = state.value()->update(context); !s.ok()) {
                    return s.error();
                }
            }
        }
        file.highlight = ImportJson::flag(properties, "is_highlight");
        if (Status s = file.update(context); !s.ok()) {
            return s.error();
        }
        auto sorting = FileSorting::createSortingWithFile(
            context, file, category ? category->cmsID : std::nullopt, locale.value()->cmsID);
        if (!sorting.ok()) {
            return sorting.error();
        }
        sorting.value().position = JsonNumber::integer(properties, "position");
        if (Status s = sorting.value().update(context); !s.ok()) {
            return s.error();
        }
        if (Status s = linkProximityEntries(context, file.pk, properties); !s.ok()) {
            return s.error();
        }
    }

    if (!isNew && ServerDate::parse(properties, "time_modified") == file.modified) {
        return std::optional<File>();
    }
    if (Status s = setFileProperties(context, file, properties); !s.ok()) {
        return s.error();
    }
    return std::optional<File>(file);
}

Status FileImporter::setFileProperties(StoreContext& context, File& file,
                                       const nlohmann::json& properties) {
    const std::optional<SystemTime> modified = ServerDate::parse(properties, "time_modified");
    const std::optional<std::string> location = JsonNumber::text(properties, "file_location");
    if (file.modified && file.modified != modified) {
        if (Status s =
                context.database().run("UPDATE FileState SET read = 0 WHERE file = ?", file.pk);
            !s.ok()) {
            return s;
        }
        // The copy stays on disk and openable until a newer one has arrived complete (the
        // download replaces it then); until then the file offers its update.
        if (file.downloaded) {
            file.updateAvailable = true;
        }
        const bool viaProxy = location && location->find(kSharePointProxyPath) != std::string::npos;
        if (location != file.fileURL || viaProxy) {
            // What the old address served says nothing about the new one: the next download
            // fetches it whole.
            file.contentETag.reset();
            file.contentLastModified.reset();
        } else if (file.downloaded && !file.contentETag && !file.contentLastModified &&
                   file.modified) {
            // Same address, new date: the download asks whether the copy is still current.
            // Without the server's own validators the copy is known by the date it had.
            file.contentLastModified = HttpDate::format(*file.modified);
        }
    }
    file.fileURL = location;
    file.mimeType = JsonNumber::text(properties, "file_mime_type");
    file.size = JsonNumber::integer(properties, "file_size");
    file.cmsID = ImportJson::itemID(properties);
    file.orientation = JsonNumber::integer(properties, "orientation");
    file.formFactor = JsonNumber::integer(properties, "published_for_form_factor");
    file.created = ServerDate::parse(properties, "time_created");
    file.modified = modified;
    file.title = JsonNumber::text(properties, "title");
    file.shareable = JsonNumber::integer(properties, "shareable");
    file.publishStart = ServerDate::parse(properties, "time_publication_period_start");
    file.publishEnd = ServerDate::parse(properties, "time_publication_period_end");
    file.highlightStart = ServerDate::parse(properties, "time_is_highlight_period_start");
    file.highlightEnd = ServerDate::parse(properties, "time_is_highlight_period_end");
    const nlohmann::json& confirmation = ImportJson::at(properties, "readconfirmation");
    file.needsReadConfirmation = JsonNumber::integer(confirmation).value_or(0);
    std::string metatags;
    const nlohmann::json& tags = ImportJson::at(properties, "metatags");
    if (tags.is_array()) {
        for (const auto& tag : tags) {
            std::optional<std::string> text =
                tag.is_string()
                    ? std::optional<std::string>(tag.get<std::string>())
                    : (tag.is_number() ? std::optional<std::string>(tag.dump()) : std::nullopt);
            if (!text) {
                continue;
            }
            if (!metatags.empty()) {
                metatags += ",";
            }
            metatags += *text;
        }
    }
    file.metatags = metatags;
    return file.update(context);
}

}  // namespace pagewell
