#pragma once
// A named page of a file or of a link-basket item. Within its owner a bookmark is identified
// by (name, page). A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Bookmark {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::string> name;
    std::optional<std::int64_t> page;
    std::optional<std::int64_t> fileKey;       // File.bookmarks (to-one here)
    std::optional<std::int64_t> shareFileKey;  // ShareFile.bookmarks (to-one here)

    static Result<std::optional<Bookmark>> find(StoreContext& context, std::int64_t pk);
    static Result<std::vector<Bookmark>> bookmarksOfFile(StoreContext& context,
                                                         std::int64_t filePk);
    static Result<std::vector<Bookmark>> bookmarksOfShareFile(StoreContext& context,
                                                              std::int64_t shareFilePk);
    // The owner's bookmark with that name and page, created (not saved) when absent.
    static Result<Bookmark> bookmarkForFile(StoreContext& context, std::int64_t filePk,
                                            const std::string& name, std::int64_t page);
    static Result<Bookmark> bookmarkForShareFile(StoreContext& context, std::int64_t shareFilePk,
                                                 const std::string& name, std::int64_t page);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
