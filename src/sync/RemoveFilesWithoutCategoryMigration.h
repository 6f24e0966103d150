#pragma once
// Removes orphans: files that belong to no category and categories without a name, then
// resets every change timestamp so the next synchronisation brings back whatever the server
// still lists. Main thread only (main store context of the shared store).

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class RemoveFilesWithoutCategoryMigration {
  public:
    // Once ("FILES_WITHOUT_CATEGORY_MIGRATION_DONE"): the two removals, the timestamp reset,
    // then the flag (whatever the outcome of the removals).
    static void migrateRemoveFilesWithoutCategory();

    // Each deletes with the entity's deletion rules and saves only when it found something.
    static Status removeFilesWithoutCategory(StoreContext& context);
    static Status removeCategoriesWithoutName(StoreContext& context);

    static constexpr const char* kDoneFlag = "FILES_WITHOUT_CATEGORY_MIGRATION_DONE";
};

}  // namespace pagewell
