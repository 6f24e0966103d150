#include "store/FileSorting.h"

#include <mutex>

#include "store/CurrentSelection.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/File.h"
#include "store/FindOrCreateBatch.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

#define PW_FILE_SORTING_SELECT                                                             \
    "SELECT pk, cmsID, fileID, categoryID, localeID, position, created, modified, files, " \
    "fileState FROM FileSorting "

FileSorting readSorting(Statement& row) {
    FileSorting sorting;
    sorting.pk = row.integer(0);
    sorting.cmsID = row.optionalInteger(1);
    sorting.fileID = row.optionalInteger(2);
    sorting.categoryID = row.optionalInteger(3);
    sorting.localeID = row.optionalInteger(4);
    sorting.position = row.optionalInteger(5);
    sorting.created = row.optionalTime(6);
    sorting.modified = row.optionalTime(7);
    sorting.files = row.optionalInteger(8);
    sorting.fileState = row.optionalInteger(9);
    return sorting;
}

// "fileID = %@ AND categoryID = %@ AND localeID = %@" where an absent value matches only an
// absent value (IS), as the predicate does with nil.
Result<std::optional<FileSorting>> lookUp(StoreContext& context, std::int64_t fileID,
                                          std::optional<std::int64_t> categoryID,
                                          std::optional<std::int64_t> localeID) {
    return EntityRows::first<FileSorting>(
        context,
        PW_FILE_SORTING_SELECT
        "WHERE fileID = ? AND categoryID IS ? AND localeID IS ? ORDER BY pk LIMIT 1",
        readSorting, fileID, categoryID, localeID);
}

Status checkStored(const File& file) {
    if (file.pk == 0 || !file.cmsID) {
        return Error::make(PersistentStore::kErrorDomain, 10,
                           "a file sorting needs a stored file with a server identifier");
    }
    return {};
}

}  // namespace

Result<std::optional<FileSorting>> FileSorting::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<FileSorting>(context, PW_FILE_SORTING_SELECT "WHERE pk = ?",
                                          readSorting, pk);
}

Result<FileSorting> FileSorting::createSortingWithFile(StoreContext& context, const File& file,
                                                       std::optional<std::int64_t> categoryID,
                                                       std::optional<std::int64_t> localeID) {
    if (Status stored = checkStored(file); !stored.ok()) {
        return stored.error();
    }
    // Writer lock, then entity lock: the order every find-or-create keeps. The state is made
    // inside the same transaction so that nothing is committed while the lock is held except
    // by the one save at the end.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::FileSorting));
    auto found = lookUp(context, *file.cmsID, categoryID, localeID);
    if (!found.ok()) {
        return found.error();
    }
    FileSorting sorting = found.value().value_or(FileSorting{});
    sorting.fileState.reset();
    if (std::optional<std::int64_t> user = CurrentSelection::userKey()) {
        auto state = file.makeFileStateForUser(context, *user);
        if (!state.ok()) {
            return state.error();
        }
        sorting.fileState = state.value().pk;
    }
    sorting.fileID = file.cmsID;
    sorting.categoryID = categoryID;
    sorting.localeID = localeID;
    sorting.files = file.pk;
    if (Status written = sorting.update(context); !written.ok()) {
        return written.error();
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return sorting;
}

Result<std::optional<FileSorting>> FileSorting::getSortingWithFile(
    StoreContext& context, const File& file, std::optional<std::int64_t> categoryID,
    std::optional<std::int64_t> localeID) {
    if (!file.cmsID) {
        return std::optional<FileSorting>();
    }
    return lookUp(context, *file.cmsID, categoryID, localeID);
}

Status FileSorting::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO FileSorting (cmsID, fileID, categoryID, localeID, position, created, "
            "modified, files, fileState) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            cmsID, fileID, categoryID, localeID, position, created, modified, files, fileState);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(
        context, kEntity,
        "UPDATE FileSorting SET cmsID = ?, fileID = ?, categoryID = ?, localeID = ?, "
        "position = ?, created = ?, modified = ?, files = ?, fileState = ? WHERE pk = ?",
        cmsID, fileID, categoryID, localeID, position, created, modified, files, fileState, pk);
}

Status FileSorting::deleteRecord(StoreContext& context) {
    return EntityRows::write(context, kEntity, "DELETE FROM FileSorting WHERE pk = ?", pk);
}

#undef PW_FILE_SORTING_SELECT

}  // namespace pagewell
