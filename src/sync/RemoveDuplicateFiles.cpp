#include "sync/RemoveDuplicateFiles.h"

#include <fmt/format.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/FavoriteFolderRelation.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileState.h"
#include "store/Resource.h"
#include "store/StoreHooks.h"
#include "store/StoredPath.h"
#include "sync/MigrationSupport.h"
#include "sync/TimestampManager.h"

namespace pagewell {

namespace {

std::string listText(const std::vector<std::int64_t>& ids) {
    return fmt::format("({})", fmt::join(ids, ", "));
}

// ---- categories ----

// What a merged category held besides its files: its users and its places in the tree.
constexpr const char* kCategoryCarryOver[] = {
    "INSERT OR IGNORE INTO FileCategory_users (category, user) "
    "SELECT ?1, user FROM FileCategory_users WHERE category = ?2",
    "INSERT OR IGNORE INTO FileCategory_subcategories (parent, child) "
    "SELECT ?1, child FROM FileCategory_subcategories WHERE parent = ?2 AND child <> ?1",
    "INSERT OR IGNORE INTO FileCategory_subcategories (parent, child) "
    "SELECT parent, ?1 FROM FileCategory_subcategories WHERE child = ?2 AND parent <> ?1",
};

Status mergeCategories(StoreContext& context, std::int64_t cmsID, std::int64_t localeKey) {
    // The most recently modified first; among equals (or none) the one stored last.
    auto categories = EntityRows::records<FileCategory>(
        context,
        "SELECT pk FROM FileCategory WHERE cmsID = ? AND locale = ? "
        "ORDER BY modified DESC, pk DESC",
        cmsID, localeKey);
    if (!categories.ok()) {
        return categories.error();
    }
    if (categories.value().empty()) {
        return {};
    }
    const std::int64_t kept = categories.value().front().pk;
    // Every file joins the kept category before any duplicate goes, so the deletion rule
    // (files whose only category is the deleted one go with it) takes none of them.
    for (const FileCategory& category : categories.value()) {
        if (Status joined =
                EntityRows::write(context, FileCategory::kEntity,
                                  "INSERT OR IGNORE INTO File_categories (file, category) "
                                  "SELECT file, ?1 FROM File_categories WHERE category = ?2",
                                  kept, category.pk);
            !joined.ok()) {
            return joined;
        }
        context.noteChanged(File::kEntity);
        context.afterCommit([id = std::to_string(cmsID)] {
            StoreHooks::categoryTimestamps()->deleteTimestampForCategoryWithID(id);
        });
        if (category.pk == kept) {
            continue;
        }
        for (const char* sql : kCategoryCarryOver) {
            if (Status carried =
                    EntityRows::write(context, FileCategory::kEntity, sql, kept, category.pk);
                !carried.ok()) {
                return carried;
            }
        }
    }
    for (FileCategory& category : categories.value()) {
        if (category.pk == kept) {
            continue;
        }
        if (Status deleted = category.deleteRecord(context); !deleted.ok()) {
            return deleted;
        }
    }
    return {};
}

// ---- files ----

// Copies every membership of file ?2 to file ?1, one statement per relationship.
constexpr const char* kFileMemberships[] = {
    "INSERT OR IGNORE INTO File_categories (file, category) "
    "SELECT ?1, category FROM File_categories WHERE file = ?2",
    "INSERT OR IGNORE INTO File_locales (file, locale) "
    "SELECT ?1, locale FROM File_locales WHERE file = ?2",
    "INSERT OR IGNORE INTO File_users (file, user) SELECT ?1, user FROM File_users WHERE file = ?2",
    "INSERT OR IGNORE INTO File_beacons (file, beacon) "
    "SELECT ?1, beacon FROM File_beacons WHERE file = ?2",
    "INSERT OR IGNORE INTO File_customers (file, customer) "
    "SELECT ?1, customer FROM File_customers WHERE file = ?2",
    "INSERT OR IGNORE INTO File_customerGroups (file, customerGroup) "
    "SELECT ?1, customerGroup FROM File_customerGroups WHERE file = ?2",
    "INSERT OR IGNORE INTO File_qrcodes (file, qrcode) "
    "SELECT ?1, qrcode FROM File_qrcodes WHERE file = ?2",
};

// The local copy named by the file exists and holds at least one byte.
bool hasUsableCopy(const File& file) {
    if (!file.filePath || file.filePath->empty()) {
        return false;
    }
    std::optional<std::filesystem::path> path = StoredPath::resolveInsideAreas(*file.filePath);
    if (!path) {
        return false;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(*path, error)) {
        return false;
    }
    std::uintmax_t size = std::filesystem::file_size(*path, error);
    return !error && size > 0;
}

// The user's state of the kept file, made when the user has none there yet.
Result<FileState> stateOfKeptFile(StoreContext& context, std::int64_t keptKey,
                                  std::int64_t userKey) {
    auto existing = FileState::stateOfFile(context, keptKey, userKey);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    FileState state;
    state.file = keptKey;
    state.user = userKey;
    if (Status inserted = state.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return state;
}

// Favourite, hidden and read flags and favourite folders of every user's state of `duplicate`
// go to that user's state of the kept file. Flags are only ever set.
Status carryStates(StoreContext& context, const File& duplicate, std::int64_t keptKey) {
    auto states = duplicate.fileStates(context);
    if (!states.ok()) {
        return states.error();
    }
    for (const FileState& state : states.value()) {
        if (!state.user) {
            continue;
        }
        auto target = stateOfKeptFile(context, keptKey, *state.user);
        if (!target.ok()) {
            return target.error();
        }
        FileState& kept = target.value();
        if (state.favorite) {
            kept.favorite = true;
            auto relations = FavoriteFolderRelation::relationsOfFileState(context, state.pk);
            if (!relations.ok()) {
                return relations.error();
            }
            for (FavoriteFolderRelation& relation : relations.value()) {
                if (!relation.folderKey) {
                    continue;
                }
                auto present = FavoriteFolderRelation::relationForFileState(context, kept.pk,
                                                                            *relation.folderKey);
                if (!present.ok()) {
                    return present.error();
                }
                if (present.value()) {
                    continue;
                }
                // The relation moves with its server identity and sync flags.
                relation.fileStateKey = kept.pk;
                if (Status moved = relation.update(context); !moved.ok()) {
                    return moved;
                }
            }
        }
        kept.pretendDeletion = kept.pretendDeletion || state.pretendDeletion;
        kept.removedByServer = kept.removedByServer || state.removedByServer;
        kept.read = kept.read || state.read;
        if (Status written = kept.update(context); !written.ok()) {
            return written;
        }
    }
    return {};
}

// Deletes a duplicate record. The annotation set, link-basket items and bookmarks are keyed
// by the server file and the user, not by the record, so they belong to the kept file and
// move there instead of being deleted; copies on disk that the kept file (or its resources)
// still names stay.
Status deleteDuplicate(StoreContext& context, File& duplicate, const File& kept) {
    NotificationCenter::shared().post(File::kFileDeletionEvent,
                                      File::DeletionEvent{duplicate.pk, duplicate.cmsID});
    for (const char* sql : kFileMemberships) {
        if (Status joined = EntityRows::write(context, File::kEntity, sql, kept.pk, duplicate.pk);
            !joined.ok()) {
            return joined;
        }
    }
    if (Status moved =
            EntityRows::write(context, "ShareFile", "UPDATE ShareFile SET file = ? WHERE file = ?",
                              kept.pk, duplicate.pk);
        !moved.ok()) {
        return moved;
    }
    if (Status moved = EntityRows::write(context, "Bookmark",
                                         "UPDATE OR IGNORE Bookmark SET file = ? WHERE file = ?",
                                         kept.pk, duplicate.pk);
        !moved.ok()) {
        return moved;
    }

    if (duplicate.filePath && !duplicate.filePath->empty() && duplicate.filePath != kept.filePath) {
        StoredPath::removeStoredFileAfterCommit(context, *duplicate.filePath,
                                                StoredPath::FailureLog::kFileAndError);
    }
    auto keptResources = Resource::resourcesOfFile(context, kept.pk);
    auto ownResources = Resource::resourcesOfFile(context, duplicate.pk);
    if (!keptResources.ok()) {
        return keptResources.error();
    }
    if (!ownResources.ok()) {
        return ownResources.error();
    }
    std::set<std::string> keptPaths;
    for (const Resource& resource : keptResources.value()) {
        if (resource.path) {
            keptPaths.insert(*resource.path);
        }
    }
    for (const Resource& resource : ownResources.value()) {
        if (resource.path && keptPaths.count(*resource.path) == 0) {
            resource.deleteFile(context);
        }
    }
    return EntityRows::write(context, File::kEntity, "DELETE FROM File WHERE pk = ?", duplicate.pk);
}

Status mergeFiles(StoreContext& context, std::int64_t cmsID) {
    auto files = EntityRows::records<File>(
        context, "SELECT pk FROM File WHERE cmsID = ? ORDER BY modified DESC, pk DESC", cmsID);
    if (!files.ok()) {
        return files.error();
    }
    if (files.value().empty()) {
        return {};
    }
    File kept = files.value().front();
    for (std::size_t index = 1; index < files.value().size(); ++index) {
        File& duplicate = files.value()[index];
        // The duplicate's download of the same address serves the kept file, unless the kept
        // file has a usable copy of its own.
        if (duplicate.downloaded && duplicate.fileURL == kept.fileURL && duplicate.filePath &&
            !duplicate.filePath->empty() && !hasUsableCopy(kept)) {
            if (kept.filePath && !kept.filePath->empty() && kept.filePath != duplicate.filePath) {
                StoredPath::removeStoredFileAfterCommit(context, *kept.filePath);
            }
            kept.downloaded = true;
            kept.updateAvailable = false;
            kept.filePath = duplicate.filePath;
        }
        if (Status carried = carryStates(context, duplicate, kept.pk); !carried.ok()) {
            return carried;
        }
        if (Status deleted = deleteDuplicate(context, duplicate, kept); !deleted.ok()) {
            return deleted;
        }
    }
    if (!hasUsableCopy(kept)) {
        if (kept.filePath && !kept.filePath->empty()) {
            // An empty copy is no copy; it would only be mistaken for one later.
            StoredPath::removeStoredFileAfterCommit(context, *kept.filePath);
        }
        kept.downloaded = false;
        kept.filePath.reset();
    }
    return kept.update(context);
}

}  // namespace

void RemoveDuplicateFiles::migrateRemoveDuplicateFilesAndCategories() {
    if (MigrationSupport::isDone(kDoneFlag)) {
        return;
    }
    (void)removeDuplicateFilesAndCategories();
    TimestampManager::resetAllTimestamps();
    MigrationSupport::markDone(kDoneFlag);
}

Status RemoveDuplicateFiles::removeDuplicateFilesAndCategories() {
    StoreContext* context = MigrationSupport::mainContext();
    if (context == nullptr) {
        return {};
    }
    return removeDuplicateFilesAndCategories(*context);
}

Status RemoveDuplicateFiles::removeDuplicateFilesAndCategories(StoreContext& context) {
    Status categories = removeDuplicateFileCategories(context);
    Status files = removeDuplicateFiles(context);
    return categories.ok() ? files : categories;
}

Status RemoveDuplicateFiles::removeDuplicateFileCategories(StoreContext& context) {
    std::optional<std::int64_t> localeKey = CurrentSelection::localeKey();
    if (!localeKey) {
        return {};
    }
    auto duplicates = EntityRows::keys(context,
                                       "SELECT cmsID FROM FileCategory WHERE locale = ? AND "
                                       "cmsID IS NOT NULL GROUP BY cmsID HAVING count(*) > 1 "
                                       "ORDER BY cmsID",
                                       *localeKey);
    if (!duplicates.ok()) {
        PW_LOG_ERROR_VALUE(duplicates.error());
        return duplicates.error();
    }
    if (duplicates.value().empty()) {
        return {};
    }
    PW_LOG_INFO("{}{}", kDuplicateCategoriesMessage, listText(duplicates.value()));
    Status work;
    for (std::int64_t cmsID : duplicates.value()) {
        if (work = mergeCategories(context, cmsID, *localeKey); !work.ok()) {
            break;
        }
    }
    return MigrationSupport::finish(context, work);
}

Status RemoveDuplicateFiles::removeDuplicateFiles(StoreContext& context) {
    auto duplicates = EntityRows::keys(context,
                                       "SELECT cmsID FROM File WHERE cmsID IS NOT NULL "
                                       "GROUP BY cmsID HAVING count(*) > 1 ORDER BY cmsID");
    if (!duplicates.ok()) {
        PW_LOG_ERROR_VALUE(duplicates.error());
        return duplicates.error();
    }
    if (duplicates.value().empty()) {
        return {};
    }
    PW_LOG_INFO("{}{}", kDuplicateFilesMessage, listText(duplicates.value()));
    Status work;
    for (std::int64_t cmsID : duplicates.value()) {
        if (work = mergeFiles(context, cmsID); !work.ok()) {
            break;
        }
    }
    return MigrationSupport::finish(context, work);
}

}  // namespace pagewell
