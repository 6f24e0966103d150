#pragma once
// The per-user state of one file: read, favourite, manual order and "pretend deletion" (the
// file is hidden for this user while the records stay). A hidden file is either one the user
// removed from the device (pretendDeletion alone: a download shows it again) or one the server
// no longer lists for the user (removedByServer as well: nothing but the server listing it
// again shows it). At most one per (file, user), made
// lazily by File::addFileStateForUser and whenever a FileSorting is made.
//
// Threading: a FileState value is plain data; the operations run on the thread that owns the
// context passed in.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct FileState {
    std::int64_t pk = 0;  // 0: not stored yet
    bool read = false;
    bool favorite = false;
    bool pretendDeletion = false;
    bool removedByServer = false;  // set with pretendDeletion; cleared when listed again
    std::optional<std::int64_t> position;
    std::optional<std::int64_t> sortIdManual;
    std::optional<std::int64_t> file;  // row key of the File
    std::optional<std::int64_t> user;  // row key of the User

    static constexpr const char* kEntity = "FileState";

    // Hidden by the user's own removal, which a download undoes.
    bool removedByUser() const { return pretendDeletion && !removedByServer; }

    static Result<std::optional<FileState>> find(StoreContext& context, std::int64_t pk);
    // The state of the file for the user ("user = %@" over the file's states).
    static Result<std::optional<FileState>> stateOfFile(StoreContext& context, std::int64_t fileKey,
                                                        std::int64_t userKey);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    // Shows a file the user had removed again (its copy is still on disk): clears
    // pretendDeletion and saves; a failed save is rolled back. A file the server removed for
    // the user is left hidden (an error, nothing written).
    Status showAgain(StoreContext& context);
    // Deletes the row; the folder relations of the state follow it, sortings lose it.
    Status deleteRecord(StoreContext& context);

    // The FileSorting that points at this state (to-one from this side: the first by row order).
    Result<std::optional<std::int64_t>> sortingKey(StoreContext& context) const;

    // "(file = %@) AND (pretendDeletion = NO)": the users who still keep the file.
    static Result<std::vector<FileState>> liveStatesOfFile(StoreContext& context,
                                                           std::int64_t fileKey);
    // "user = %@ AND ANY file.locales = %@ AND (file.downloaded = NO OR pretendDeletion = YES)":
    // what the user still has to download, or has removed, in the locale; files the server
    // removed for the user are not pending. Keys left empty mean the current selection's user
    // and locale.
    static Result<std::vector<FileState>> statesPendingDownloadOrDeletion(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt,
        std::optional<std::int64_t> localeKey = std::nullopt);
};

}  // namespace pagewell
