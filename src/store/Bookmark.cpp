#include "store/Bookmark.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Bookmark";

#define BOOKMARK_COLUMNS "pk, name, page, file, shareFile"

Bookmark readBookmark(Statement& row) {
    Bookmark bookmark;
    bookmark.pk = row.integer(0);
    bookmark.name = row.optionalText(1);
    bookmark.page = row.optionalInteger(2);
    bookmark.fileKey = row.optionalInteger(3);
    bookmark.shareFileKey = row.optionalInteger(4);
    return bookmark;
}

// Looks up inside the write transaction, so that no other context can add the same bookmark
// between the look-up and the insert.
Result<Bookmark> findOrCreate(StoreContext& context, std::optional<std::int64_t> fileKey,
                              std::optional<std::int64_t> shareFileKey, const std::string& name,
                              std::int64_t page) {
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = EntityRows::first<Bookmark>(context,
                                                "SELECT " BOOKMARK_COLUMNS
                                                " FROM Bookmark WHERE file IS ? AND shareFile IS ? "
                                                "AND name = ? AND page = ?",
                                                readBookmark, fileKey, shareFileKey, name, page);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    Bookmark bookmark;
    bookmark.name = name;
    bookmark.page = page;
    bookmark.fileKey = fileKey;
    bookmark.shareFileKey = shareFileKey;
    if (Status inserted = bookmark.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return bookmark;
}

}  // namespace

Result<std::optional<Bookmark>> Bookmark::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Bookmark>(
        context, "SELECT " BOOKMARK_COLUMNS " FROM Bookmark WHERE pk = ?", readBookmark, pk);
}

Result<std::vector<Bookmark>> Bookmark::bookmarksOfFile(StoreContext& context,
                                                        std::int64_t filePk) {
    return EntityRows::all<Bookmark>(
        context, "SELECT " BOOKMARK_COLUMNS " FROM Bookmark WHERE file = ? ORDER BY page, name",
        readBookmark, filePk);
}

Result<std::vector<Bookmark>> Bookmark::bookmarksOfShareFile(StoreContext& context,
                                                             std::int64_t shareFilePk) {
    return EntityRows::all<Bookmark>(context,
                                     "SELECT " BOOKMARK_COLUMNS
                                     " FROM Bookmark WHERE shareFile = ? ORDER BY page, name",
                                     readBookmark, shareFilePk);
}

Result<Bookmark> Bookmark::bookmarkForFile(StoreContext& context, std::int64_t filePk,
                                           const std::string& name, std::int64_t page) {
    return findOrCreate(context, filePk, std::nullopt, name, page);
}

Result<Bookmark> Bookmark::bookmarkForShareFile(StoreContext& context, std::int64_t shareFilePk,
                                                const std::string& name, std::int64_t page) {
    return findOrCreate(context, std::nullopt, shareFilePk, name, page);
}

Status Bookmark::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Bookmark (name, page, file, shareFile) VALUES (?, ?, ?, ?)", name, page,
            fileKey, shareFileKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Bookmark SET name = ?, page = ?, file = ?, shareFile = ? "
                             "WHERE pk = ?",
                             name, page, fileKey, shareFileKey, pk);
}

Status Bookmark::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Bookmark WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
