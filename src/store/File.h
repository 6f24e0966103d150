#pragma once
// One document of the catalogue. A File exists once per server identifier (cmsID) whatever
// the number of users and locales that see it: seeing it in a locale adds the locale to
// `locales`, seeing it for a user adds the user to `users` and makes the user's FileState.
// Per-user facts live in FileState. The local copy's path is kept relative to the data
// directory (StoredPath).
//
// Threading: a File value is plain data; the operations run on the thread that owns the
// context passed in. The forms without a context use the main context and belong to the main
// thread. fileWithId takes the process-wide File lock, addFileStateForUser the FileState lock,
// each after the context's writer lock (see EntityLocks).
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "store/FileSorting.h"
#include "store/FileState.h"
#include "store/FileTypes.h"
#include "store/StoreContext.h"

namespace pagewell {

class Statement;

struct File {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> title;
    std::optional<std::string> fileURL;
    std::optional<std::string> filePath;  // relative to the data directory; none until downloaded
    std::optional<std::string> mimeType;
    std::optional<std::int64_t> size;
    std::optional<SystemTime> created;
    std::optional<SystemTime> modified;
    std::optional<std::int64_t> position;
    std::optional<std::int64_t> orientation;
    std::optional<std::int64_t> formFactor;
    std::optional<std::int64_t> shareable;
    std::optional<SystemTime> publishStart;
    std::optional<SystemTime> publishEnd;
    bool highlight = false;
    std::optional<SystemTime> highlightStart;
    std::optional<SystemTime> highlightEnd;
    std::optional<std::string> metatags;
    bool downloaded = false;
    bool updateAvailable = false;
    std::optional<std::int64_t> needsReadConfirmation;
    bool didSendReadConfirmation = false;
    std::optional<SystemTime> confirmationDate;
    std::optional<std::int64_t> thumbnail;  // row key of the Thumbnail
    // The validators of the local copy, as the server sent them with it (ETag, Last-Modified),
    // so a download of the same address can ask whether the copy is still current. Cleared
    // when the address changes: they describe what the old address served.
    std::optional<std::string> contentETag;
    std::optional<std::string> contentLastModified;

    static constexpr const char* kEntity = "File";
    // Posted by deleteFile before anything is removed; the user info is a DeletionEvent. A
    // viewer showing that file tells the user and goes back to its root.
    static constexpr const char* kFileDeletionEvent = "FileDeletionEvent";
    struct DeletionEvent {
        std::int64_t pk = 0;
        std::optional<std::int64_t> cmsID;
    };

    // The columns the store reads for a File (table alias "f"), and the reader of a row that
    // begins with them: for queries that join files to other records.
    static const char* const kRowColumns;
    static constexpr int kRowColumnCount = 27;
    static File fromRow(const Statement& row);

    static Result<std::optional<File>> find(StoreContext& context, std::int64_t pk);
    static Result<std::optional<File>> findWithCmsID(StoreContext& context, std::int64_t cmsID);

    // Finds the File with that cmsID whatever its locales, creates it when absent, adds the
    // locale (row key; none: the current locale) to `locales` and saves the context, which
    // commits everything the context holds. Without id: logs "Cannot get file without id.",
    // without any locale: "Cannot get file without locale."; both give none.
    static Result<std::optional<File>> fileWithId(StoreContext& context,
                                                  std::optional<std::int64_t> id,
                                                  std::optional<std::int64_t> localeKey);
    // The same in the main context of the shared store.
    static Result<std::optional<File>> fileWithId(
        std::optional<std::int64_t> id, std::optional<std::int64_t> localeKey = std::nullopt);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    // prepareForDeletion (deleteFile), then the local files of the resources and the copy if
    // one is still named, then the row; states, sortings, resources, share files and
    // memberships follow it, and so does its thumbnail when no other file shows it. Files
    // on disk go only when the context's changes commit
    // (StoreContext::afterCommit), here and in every removal below.
    Status deleteRecord(StoreContext& context);
    Status prepareForDeletion(StoreContext& context);

    // Relationships, by row key.
    Result<std::vector<std::int64_t>> localeKeys(StoreContext& context) const;
    Status addLocale(StoreContext& context, std::int64_t localeKey) const;
    Status removeLocale(StoreContext& context, std::int64_t localeKey) const;
    Result<std::vector<std::int64_t>> userKeys(StoreContext& context) const;
    Status addUser(StoreContext& context, std::int64_t userKey) const;
    Status removeUser(StoreContext& context, std::int64_t userKey) const;
    Result<std::vector<std::int64_t>> categoryKeys(StoreContext& context) const;
    Status addCategory(StoreContext& context, std::int64_t categoryKey) const;
    Status removeCategory(StoreContext& context, std::int64_t categoryKey) const;
    Result<std::vector<FileState>> fileStates(StoreContext& context) const;
    Result<std::vector<FileSorting>> fileSortings(StoreContext& context) const;

    // The file's state with "user = %@"; none when the user has none.
    Result<std::optional<FileState>> fileStateForUser(StoreContext& context,
                                                      std::int64_t userKey) const;
    // The same for the signed-in user (none when nobody is signed in); without a context, in
    // the main context.
    Result<std::optional<FileState>> fileStateForCurrentUser(StoreContext& context) const;
    Result<std::optional<FileState>> fileStateForCurrentUser() const;
    // The user's state (none given: the signed-in user), made, linked and saved (the context
    // is committed) when the file has none yet. None when there is no user at all.
    Result<std::optional<FileState>> addFileStateForUser(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt) const;

    bool isHighlight() const { return highlight; }
    void setHighlightState(bool state) { highlight = state; }
    // The lower-cased extension of fileURL is "pdf", or else mimeType is "application/pdf".
    bool isPDFFile() const;
    // The display name of the file's type (see FileTypes); `lookup` finds localised texts.
    std::string getFileTypeString(const FileTypes::TextLookup& lookup = nullptr) const;
    // 0 when downloaded; otherwise the room a download would take (content, thumbnail share,
    // resources) in 32-bit arithmetic. Thumbnail and resource sizes are read from the store.
    Result<std::int32_t> usedDiskSpace(StoreContext& context) const;
    // The same sum whether downloaded or not, unsigned 64-bit.
    Result<std::uint64_t> completeFileSize(StoreContext& context) const;
    // didSendReadConfirmation = false, confirmationDate = none. Does not store.
    void resetReadConfirmation();
    // "<cmsID>_<signed-in user name>": the key of the user's annotation set of this file;
    // none when the file has no cmsID or nobody is signed in.
    std::optional<std::string> getUserRedliningId() const;

    // Removes the file for the signed-in user: posts "FileDeletionEvent", marks the user's
    // state pretendDeletion; when no live state remains, clears downloaded and
    // updateAvailable, removes the local copy (only inside the app's areas) and clears
    // filePath, and removes the resources' copies; always removes the user's annotation set
    // and the file's share files. The record stays. Stores the changes without saving.
    Status deleteFile(StoreContext& context);
    // Shows the file as not downloaded for everybody: every state's pretendDeletion = false
    // (except where the server removed the file for that user),
    // downloaded = false, updateAvailable = false, the local copy removed; then saves the
    // context (without one: the main context).
    Status deleteForAllUsers(StoreContext& context);
    Status deleteForAllUsers();
    // The signed-in user's annotation set of this file: at once, or (with a context) once
    // the context's open changes commit.
    void deleteRedliningFiles() const;
    void deleteRedliningFiles(StoreContext& context) const;
    // Every ShareFile of the file, each through its own deletion (export and annotation set).
    Status deleteShareFiles(StoreContext& context) const;
    // The local copies of the file's resources, once the context's changes commit; the
    // records stay, marked not downloaded and without a path. Does not save.
    Status deleteResources(StoreContext& context) const;

    // "highlight == 1", kept where `locales` holds the locale and `users` the user (row keys;
    // empty: the current selection).
    static Result<std::vector<File>> highlightFiles(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt,
        std::optional<std::int64_t> localeKey = std::nullopt);
    // "users CONTAINS %@ AND locales CONTAINS %@" over the category's `files`, sorted by title.
    static Result<std::vector<File>> filesOfCategory(
        StoreContext& context, std::int64_t categoryKey,
        std::optional<std::int64_t> userKey = std::nullopt,
        std::optional<std::int64_t> localeKey = std::nullopt);
    // "(downloaded = NO OR updateAvailable = YES) AND users CONTAINS %@".
    static Result<std::vector<File>> filesToDownload(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt);
    // "needsReadConfirmation = 1 AND didSendReadConfirmation = 0 AND NOT confirmationDate = nil".
    static Result<std::vector<File>> filesWithUnsentConfirmation(StoreContext& context);

  private:
    friend struct FileSorting;
    // addFileStateForUser without the save, for callers that already hold their own entity
    // lock and save once at the end. Takes the FileState lock.
    Result<FileState> makeFileStateForUser(StoreContext& context, std::int64_t userKey) const;
    // Thumbnail size and resource sizes as the size rules take them.
    Status readAttachedSizes(StoreContext& context, std::int32_t& thumbnailSize,
                             std::vector<std::int32_t>& resourceSizes) const;
};

}  // namespace pagewell
