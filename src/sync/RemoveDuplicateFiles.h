#pragma once
// Merges records that exist twice: the same server category twice in the current language
// (the most recently modified one is kept and receives the files of all), and the same server
// file twice (the most recently modified one is kept). A merged file keeps what users had of
// the others: a downloaded copy of the same address, favourite (with its folders), read and
// hidden flags (flags are only ever set), link-basket items, bookmarks and memberships.
// Stores without duplicates are left untouched: no save, no log line.
//
// Runs once at start-up and after every catalogue synchronisation.
// Main thread only (main store context of the shared store, or the context given).

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class RemoveDuplicateFiles {
  public:
    // Once ("DUPLICATE_FILES_MIGRATION_DONE"): removeDuplicateFilesAndCategories, then reset
    // all change timestamps, then set the flag (whatever the outcome of the clean-up).
    static void migrateRemoveDuplicateFilesAndCategories();

    // removeDuplicateFileCategories, then removeDuplicateFiles. Unguarded: the sync manager
    // calls it after each synchronisation.
    static Status removeDuplicateFilesAndCategories();
    static Status removeDuplicateFilesAndCategories(StoreContext& context);

    // Categories of the current language sharing a cmsID; logs "Migrating duplicate
    // categories: (...)" and saves when there were any. Each merged category's change
    // timestamp is forgotten (through the store's category hook).
    static Status removeDuplicateFileCategories(StoreContext& context);
    // Files (all languages) sharing a cmsID; logs "Migrating duplicate files: (...)" and saves
    // when there were any.
    static Status removeDuplicateFiles(StoreContext& context);

    static constexpr const char* kDoneFlag = "DUPLICATE_FILES_MIGRATION_DONE";
    static constexpr const char* kDuplicateCategoriesMessage = "Migrating duplicate categories: ";
    static constexpr const char* kDuplicateFilesMessage = "Migrating duplicate files: ";
};

}  // namespace pagewell
