#pragma once
// Removes categories stored without a content language (locale ID 0), left by early imports.
// Main thread only (main store context of the shared store).

namespace pagewell {

class StoreContext;

class FileCategoryMigration {
  public:
    // Once ("FILECATEGORY_MIGRATION_DONE"): deleteFileCategoriesWithNullLocaleID; the flag is
    // set only when that succeeds. Returns whether the migration is done.
    static bool migrateFileCategories();

    // Deletes every category whose localeID is 0 (with the category deletion rules) and saves
    // when any was found. False only when the store could not be read or written.
    static bool deleteFileCategoriesWithNullLocaleID();
    static bool deleteFileCategoriesWithNullLocaleID(StoreContext& context);

    static constexpr const char* kDoneFlag = "FILECATEGORY_MIGRATION_DONE";
};

}  // namespace pagewell
