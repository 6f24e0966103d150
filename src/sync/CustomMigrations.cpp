#include "sync/CustomMigrations.h"

#include "platform/Logger.h"
#include "sync/FileCategoryMigration.h"
#include "sync/FixDuplicateLocales.h"
#include "sync/MigrationSupport.h"
#include "sync/RedliningMigration.h"
#include "sync/RemoveDuplicateFiles.h"
#include "sync/RemoveFilesWithoutCategoryMigration.h"
#include "sync/ResetTimestamp.h"

namespace pagewell {

void CustomMigrations::performMigrations() {
    if (MigrationSupport::mainContext() == nullptr) {
        // Without a store every store repair would be marked done without having run.
        PW_LOG_WARNING("No store is open: store migrations wait for the next start");
        ResetTimestamp::resetTimestamps();
        return;
    }
    RedliningMigration::migrateRedliningFiles();
    FileCategoryMigration::migrateFileCategories();
    RemoveDuplicateFiles::migrateRemoveDuplicateFilesAndCategories();
    ResetTimestamp::resetTimestamps();
    RemoveFilesWithoutCategoryMigration::migrateRemoveFilesWithoutCategory();
    FixDuplicateLocales::migrateFixDuplicateLocales();
}

}  // namespace pagewell
