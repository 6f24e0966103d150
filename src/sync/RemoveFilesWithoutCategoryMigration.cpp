#include "sync/RemoveFilesWithoutCategoryMigration.h"

#include "store/EntityRows.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "sync/MigrationSupport.h"
#include "sync/TimestampManager.h"

namespace pagewell {

namespace {

// Deletes each record the query names that still exists when its turn comes (a category's
// deletion may take files with it).
template <class T>
Status deleteAll(StoreContext& context, const char* sql) {
    auto keys = EntityRows::keys(context, sql);
    if (!keys.ok()) {
        return keys.error();
    }
    for (std::int64_t key : keys.value()) {
        auto record = T::find(context, key);
        if (!record.ok()) {
            return record.error();
        }
        if (record.value()) {
            if (Status deleted = record.value()->deleteRecord(context); !deleted.ok()) {
                return deleted;
            }
        }
    }
    return {};
}

}  // namespace

void RemoveFilesWithoutCategoryMigration::migrateRemoveFilesWithoutCategory() {
    if (MigrationSupport::isDone(kDoneFlag)) {
        return;
    }
    if (StoreContext* context = MigrationSupport::mainContext()) {
        (void)removeFilesWithoutCategory(*context);
        (void)removeCategoriesWithoutName(*context);
    }
    TimestampManager::resetAllTimestamps();
    MigrationSupport::markDone(kDoneFlag);
}

Status RemoveFilesWithoutCategoryMigration::removeFilesWithoutCategory(StoreContext& context) {
    return MigrationSupport::finish(
        context, deleteAll<File>(context,
                                 "SELECT f.pk FROM File f WHERE NOT EXISTS (SELECT 1 FROM "
                                 "File_categories m WHERE m.file = f.pk) ORDER BY f.pk"));
}

Status RemoveFilesWithoutCategoryMigration::removeCategoriesWithoutName(StoreContext& context) {
    return MigrationSupport::finish(
        context, deleteAll<FileCategory>(
                     context, "SELECT pk FROM FileCategory WHERE name IS NULL ORDER BY pk"));
}

}  // namespace pagewell
