#pragma once
// An item of the user's link basket: a whole file (exportPages none, shared by link) or a page
// selection exported into a PDF of its own at localPath. An item removed from the basket is
// only marked (pretendDeletion) so that the read status of its links can still be shown; the
// record goes when its file goes. A plain value; its operations run in the context given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class StoreContext;
struct Bookmark;
struct ShareLink;

struct ShareFile {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::string> customTitle;
    std::optional<SystemTime> date;
    std::optional<std::vector<int>> exportPages;  // stored as a JSON array text
    std::optional<std::string> localPath;
    bool hasRedlining = false;
    std::optional<std::string> redliningSalt;
    bool pretendDeletion = false;
    std::optional<std::int64_t> fileKey;  // File.shareFiles (to-one here)
    std::optional<std::int64_t> userKey;  // User.shareFiles (to-one here)

    static Result<std::optional<ShareFile>> find(StoreContext& context, std::int64_t pk);
    static Result<std::vector<ShareFile>> shareFilesOfFile(StoreContext& context,
                                                           std::int64_t filePk);

    // A new item for the file: customTitle = the file's title, user = the signed-in user,
    // date = now, exportPages = pageArray, localPath = savePath. Inserted, not saved. A file
    // key that names no file is an error.
    static Result<ShareFile> createShareFileWithFile(StoreContext& context, std::int64_t filePk,
                                                     std::optional<std::vector<int>> pageArray,
                                                     std::optional<std::string> savePath);

    // The basket: "user = %@ AND file.locales CONTAINS %@ AND pretendDeletion = 0", oldest
    // first.
    static Result<std::vector<ShareFile>> basketItems(StoreContext& context, std::int64_t userPk,
                                                      std::int64_t localePk);

    // The whole file is shared (no page selection was exported).
    bool sharedViaLink() const { return !exportPages.has_value(); }
    // Takes the item out of the basket but keeps it for its links' read status; saves.
    Status shouldDelete(StoreContext& context);
    // "<redliningSalt>_<file cmsID>_<signed-in user name>"; none when the item's file has no
    // server identifier or nobody is signed in.
    Result<std::optional<std::string>> getUserRedliningId(StoreContext& context) const;

    Result<std::vector<ShareLink>> links(StoreContext& context) const;
    Result<std::vector<Bookmark>> bookmarks(StoreContext& context) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // prepareForDeletion, then every link with its own deletion (which withdraws its
    // reminder), then the row with its bookmarks. Does not save.
    Status deleteRecord(StoreContext& context);

    // Removes the exported PDF and the item's own annotation set once the context's open
    // changes commit (at once without a transaction). Best effort: failures are logged,
    // never reported.
    void deleteFile(StoreContext& context) const;
    void prepareForDeletion(StoreContext& context) const;
};

}  // namespace pagewell
