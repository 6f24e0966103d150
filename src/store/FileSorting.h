#pragma once
// The server's position of one file inside one category of one locale. One record per
// (fileID, categoryID, localeID); the highlight import makes records without categoryID, and
// an empty categoryID matches only an empty categoryID. The sorting points at the current
// user's FileState of the file, which is made with it when missing.
//
// Threading: a FileSorting value is plain data; the operations run on the thread that owns
// the context passed in. createSortingWithFile takes the process-wide FileSorting lock (and,
// inside it, the FileState lock) after the context's writer lock.
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <cstdint>
#include <optional>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct File;

struct FileSorting {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::int64_t> fileID;      // cmsID of the file
    std::optional<std::int64_t> categoryID;  // cmsID of the category; none for highlights
    std::optional<std::int64_t> localeID;    // cmsID of the locale
    std::optional<std::int64_t> position;
    std::optional<SystemTime> created;
    std::optional<SystemTime> modified;
    std::optional<std::int64_t> files;      // row key of the File
    std::optional<std::int64_t> fileState;  // row key of the current user's FileState

    static constexpr const char* kEntity = "FileSorting";

    static Result<std::optional<FileSorting>> find(StoreContext& context, std::int64_t pk);

    // Finds the sorting by "fileID = %@ AND categoryID = %@ AND localeID = %@" (fileID: the
    // file's cmsID), creates it when absent, points it at the file and at the current user's
    // state of the file (made when missing; none when nobody is signed in), sets the three
    // identifiers and saves the context, which commits everything the context holds. A file
    // that is not stored or has no cmsID gives an error.
    static Result<FileSorting> createSortingWithFile(StoreContext& context, const File& file,
                                                     std::optional<std::int64_t> categoryID,
                                                     std::optional<std::int64_t> localeID);
    // The same look-up without creating.
    static Result<std::optional<FileSorting>> getSortingWithFile(
        StoreContext& context, const File& file, std::optional<std::int64_t> categoryID,
        std::optional<std::int64_t> localeID);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
