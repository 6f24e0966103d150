#pragma once
// Moves annotation files from the names of a single-user release to per-user names, in the
// directory "redlining" of the documents area:
//   catalogue file:  "<cmsID>.redlining.plist"        -> "<cmsID>_<user>.redlining.plist"
//   link-basket item: "<salt>_<cmsID>.redlining.plist" -> "<salt>_<cmsID>_<user>.redlining.plist"
// one copy per user of the file (for a basket item: its owner). The old file is removed once
// every copy is written; an existing per-user file is never overwritten.
// Main thread only (main store context of the shared store).

#include <filesystem>
#include <string_view>

#include "platform/Error.h"

namespace pagewell {

class FileAreas;
class StoreContext;

class RedliningMigration {
  public:
    // Once ("REDLINING_MIGRATION_DONE"): both moves; the flag is set only when both succeed.
    // Returns whether the migration is done.
    static bool migrateRedliningFiles();
    // Both moves; copy and removal failures are logged ("Error[code]: description") and make
    // the result an error, after the remaining files were tried.
    static Status migrateRedliningFiles(StoreContext& context, const FileAreas& areas);

    // "<documents>/redlining"
    static std::filesystem::path redliningDirectory(const FileAreas& areas);
    // "<documents>/redlining/<stem>.redlining.plist", the stem made from the id one-to-one
    // (RedliningFileName). The annotation manager stores under the same rule.
    static std::filesystem::path redliningFilePath(const FileAreas& areas,
                                                   std::string_view documentId);

    static constexpr const char* kDoneFlag = "REDLINING_MIGRATION_DONE";
    static constexpr const char* kDirectoryName = "redlining";
    static constexpr const char* kFileSuffix = ".redlining.plist";
};

}  // namespace pagewell
