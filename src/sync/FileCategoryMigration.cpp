#include "sync/FileCategoryMigration.h"

#include <vector>

#include "store/EntityRows.h"
#include "store/FileCategory.h"
#include "sync/MigrationSupport.h"

namespace pagewell {

bool FileCategoryMigration::migrateFileCategories() {
    if (MigrationSupport::isDone(kDoneFlag)) {
        return true;
    }
    if (!deleteFileCategoriesWithNullLocaleID()) {
        return false;
    }
    MigrationSupport::markDone(kDoneFlag);
    return true;
}

bool FileCategoryMigration::deleteFileCategoriesWithNullLocaleID() {
    StoreContext* context = MigrationSupport::mainContext();
    return context != nullptr && deleteFileCategoriesWithNullLocaleID(*context);
}

bool FileCategoryMigration::deleteFileCategoriesWithNullLocaleID(StoreContext& context) {
    auto found = EntityRows::records<FileCategory>(
        context, "SELECT pk FROM FileCategory WHERE localeID = 0 ORDER BY pk");
    if (!found.ok()) {
        return MigrationSupport::finish(context, found.error()).ok();
    }
    Status work;
    for (FileCategory& category : found.value()) {
        // An earlier deletion may have taken this one with it already.
        auto still = FileCategory::find(context, category.pk);
        if (!still.ok()) {
            work = still.error();
            break;
        }
        if (still.value()) {
            if (work = still.value()->deleteRecord(context); !work.ok()) {
                break;
            }
        }
    }
    return MigrationSupport::finish(context, work).ok();
}

}  // namespace pagewell
