#include "store/FileState.h"

#include "store/CurrentSelection.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

// Absent booleans read as false, here and in every predicate below (IFNULL(x, 0)).
#define PW_FILE_STATE_COLUMNS                                                        \
    "s.pk, IFNULL(s.read, 0), IFNULL(s.favorite, 0), IFNULL(s.pretendDeletion, 0), " \
    "s.position, s.sortIdManual, s.file, s.user, s.removedByServer "

FileState readState(Statement& row) {
    FileState state;
    state.pk = row.integer(0);
    state.read = row.boolean(1);
    state.favorite = row.boolean(2);
    state.pretendDeletion = row.boolean(3);
    state.position = row.optionalInteger(4);
    state.sortIdManual = row.optionalInteger(5);
    state.file = row.optionalInteger(6);
    state.user = row.optionalInteger(7);
    state.removedByServer = row.boolean(8);
    return state;
}

}  // namespace

Result<std::optional<FileState>> FileState::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<FileState>(
        context, "SELECT " PW_FILE_STATE_COLUMNS "FROM FileState s WHERE s.pk = ?", readState, pk);
}

Result<std::optional<FileState>> FileState::stateOfFile(StoreContext& context, std::int64_t fileKey,
                                                        std::int64_t userKey) {
    return EntityRows::first<FileState>(context,
                                        "SELECT " PW_FILE_STATE_COLUMNS
                                        "FROM FileState s WHERE s.file = ? AND s.user = ? "
                                        "ORDER BY s.pk LIMIT 1",
                                        readState, fileKey, userKey);
}

Status FileState::showAgain(StoreContext& context) {
    if (removedByServer) {
        return Error::make(kAppErrorDomain, -1,
                           "The server no longer lists this file for you; it stays removed.");
    }
    pretendDeletion = false;
    Status saved = update(context);
    if (saved.ok()) {
        saved = context.save();
    }
    if (!saved.ok()) {
        context.rollback();
    }
    return saved;
}

Status FileState::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO FileState (read, favorite, pretendDeletion, position, sortIdManual, "
            "file, user, removedByServer) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            read, favorite, pretendDeletion, position, sortIdManual, file, user, removedByServer);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE FileState SET read = ?, favorite = ?, pretendDeletion = ?, "
                             "position = ?, sortIdManual = ?, file = ?, user = ?, "
                             "removedByServer = ? WHERE pk = ?",
                             read, favorite, pretendDeletion, position, sortIdManual, file, user,
                             removedByServer, pk);
}

Status FileState::deleteRecord(StoreContext& context) {
    return EntityRows::write(context, kEntity, "DELETE FROM FileState WHERE pk = ?", pk);
}

Result<std::optional<std::int64_t>> FileState::sortingKey(StoreContext& context) const {
    return EntityRows::first<std::int64_t>(
        context, "SELECT pk FROM FileSorting WHERE fileState = ? ORDER BY pk LIMIT 1",
        [](Statement& row) { return row.integer(0); }, pk);
}

Result<std::vector<FileState>> FileState::liveStatesOfFile(StoreContext& context,
                                                           std::int64_t fileKey) {
    // (file = %@) AND (pretendDeletion = NO)
    return EntityRows::all<FileState>(context,
                                      "SELECT " PW_FILE_STATE_COLUMNS
                                      "FROM FileState s WHERE s.file = ? AND "
                                      "IFNULL(s.pretendDeletion, 0) = 0 ORDER BY s.pk",
                                      readState, fileKey);
}

Result<std::vector<FileState>> FileState::statesPendingDownloadOrDeletion(
    StoreContext& context, std::optional<std::int64_t> userKey,
    std::optional<std::int64_t> localeKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    // user = %@ AND ANY file.locales = %@ AND (file.downloaded = NO OR pretendDeletion = YES)
    return EntityRows::all<FileState>(
        context,
        "SELECT " PW_FILE_STATE_COLUMNS
        "FROM FileState s JOIN File f ON f.pk = s.file WHERE s.user = ? AND EXISTS (SELECT 1 "
        "FROM File_locales l WHERE l.file = f.pk AND l.locale = ?) AND "
        "(IFNULL(f.downloaded, 0) = 0 OR IFNULL(s.pretendDeletion, 0) = 1) AND "
        "s.removedByServer = 0 ORDER BY s.pk",
        readState, userKey, localeKey);
}

#undef PW_FILE_STATE_COLUMNS

}  // namespace pagewell
