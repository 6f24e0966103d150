#include "store/ShareFile.h"

#include <nlohmann/json.hpp>

#include "platform/Logger.h"
#include "store/Bookmark.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/RedliningIdentifier.h"
#include "store/ShareLink.h"
#include "store/StoreHooks.h"
#include "store/StoredPath.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "ShareFile";

#define SHARE_FILE_COLUMNS                                                         \
    "ShareFile.pk, ShareFile.customTitle, ShareFile.date, ShareFile.exportPages, " \
    "ShareFile.localPath, ShareFile.hasRedlining, ShareFile.redliningSalt, "       \
    "ShareFile.pretendDeletion, ShareFile.file, ShareFile.user"

std::optional<std::string> encodePages(const std::optional<std::vector<int>>& pages) {
    if (!pages) {
        return std::nullopt;
    }
    return nlohmann::json(*pages).dump();
}

// A stored page list that does not read as an array of numbers is logged and taken as none.
std::optional<std::vector<int>> decodePages(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    auto value = nlohmann::json::parse(*text, nullptr, false);
    if (!value.is_array()) {
        PW_LOG_ERROR("Unreadable export pages: {}", *text);
        return std::nullopt;
    }
    std::vector<int> pages;
    for (const auto& page : value) {
        if (!page.is_number_integer()) {
            PW_LOG_ERROR("Unreadable export pages: {}", *text);
            return std::nullopt;
        }
        pages.push_back(page.get<int>());
    }
    return pages;
}

ShareFile readShareFile(Statement& row) {
    ShareFile item;
    item.pk = row.integer(0);
    item.customTitle = row.optionalText(1);
    item.date = row.optionalTime(2);
    item.exportPages = decodePages(row.optionalText(3));
    item.localPath = row.optionalText(4);
    item.hasRedlining = row.boolean(5);
    item.redliningSalt = row.optionalText(6);
    item.pretendDeletion = row.boolean(7);
    item.fileKey = row.optionalInteger(8);
    item.userKey = row.optionalInteger(9);
    return item;
}

}  // namespace

Result<std::optional<ShareFile>> ShareFile::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<ShareFile>(
        context, "SELECT " SHARE_FILE_COLUMNS " FROM ShareFile WHERE pk = ?", readShareFile, pk);
}

Result<std::vector<ShareFile>> ShareFile::shareFilesOfFile(StoreContext& context,
                                                           std::int64_t filePk) {
    return EntityRows::all<ShareFile>(
        context, "SELECT " SHARE_FILE_COLUMNS " FROM ShareFile WHERE file = ? ORDER BY pk",
        readShareFile, filePk);
}

Result<ShareFile> ShareFile::createShareFileWithFile(StoreContext& context, std::int64_t filePk,
                                                     std::optional<std::vector<int>> pageArray,
                                                     std::optional<std::string> savePath) {
    struct FileRow {
        std::optional<std::string> title;
    };
    auto file = EntityRows::first<FileRow>(
        context, "SELECT title FROM File WHERE pk = ?",
        [](Statement& row) { return FileRow{row.optionalText(0)}; }, filePk);
    if (!file.ok()) {
        return file.error();
    }
    if (!file.value()) {
        return Error::make(
            kAppErrorDomain, -1,
            "cannot add file " + std::to_string(filePk) + " to the basket: there is no such file");
    }
    ShareFile item;
    item.fileKey = filePk;
    item.exportPages = std::move(pageArray);
    item.customTitle = file.value()->title;
    item.userKey = CurrentSelection::userKey();
    item.localPath = std::move(savePath);
    item.date = Clock::shared().now();
    if (Status inserted = item.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return item;
}

Result<std::vector<ShareFile>> ShareFile::basketItems(StoreContext& context, std::int64_t userPk,
                                                      std::int64_t localePk) {
    // user = %@ AND file.locales CONTAINS %@ AND pretendDeletion = 0
    return EntityRows::all<ShareFile>(
        context,
        "SELECT " SHARE_FILE_COLUMNS
        " FROM ShareFile WHERE ShareFile.user = ?"
        " AND EXISTS (SELECT 1 FROM File_locales WHERE File_locales.file = ShareFile.file"
        "             AND File_locales.locale = ?)"
        " AND IFNULL(ShareFile.pretendDeletion, 0) = 0 ORDER BY ShareFile.pk",
        readShareFile, userPk, localePk);
}

Status ShareFile::shouldDelete(StoreContext& context) {
    pretendDeletion = true;
    if (Status written = update(context); !written.ok()) {
        return written;
    }
    return context.save();
}

Result<std::optional<std::string>> ShareFile::getUserRedliningId(StoreContext& context) const {
    std::optional<std::string> userName = CurrentSelection::userName();
    if (!fileKey || !userName) {
        return std::optional<std::string>();
    }
    auto cmsID = EntityRows::first<std::optional<std::int64_t>>(
        context, "SELECT cmsID FROM File WHERE pk = ?",
        [](Statement& row) { return row.optionalInteger(0); }, *fileKey);
    if (!cmsID.ok()) {
        return cmsID.error();
    }
    if (!cmsID.value() || !*cmsID.value()) {
        return std::optional<std::string>();
    }
    auto fileCmsID = static_cast<std::int32_t>(**cmsID.value());
    return std::optional(RedliningIdentifier::forShareFile(redliningSalt.value_or(std::string()),
                                                           fileCmsID, *userName));
}

Result<std::vector<ShareLink>> ShareFile::links(StoreContext& context) const {
    return ShareLink::linksOfShareFile(context, pk);
}

Result<std::vector<Bookmark>> ShareFile::bookmarks(StoreContext& context) const {
    return Bookmark::bookmarksOfShareFile(context, pk);
}

Status ShareFile::update(StoreContext& context) {
    std::optional<std::string> pages = encodePages(exportPages);
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO ShareFile (customTitle, date, exportPages, localPath, hasRedlining, "
            "redliningSalt, pretendDeletion, file, user) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            customTitle, date, pages, localPath, hasRedlining, redliningSalt, pretendDeletion,
            fileKey, userKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE ShareFile SET customTitle = ?, date = ?, exportPages = ?, "
                             "localPath = ?, hasRedlining = ?, redliningSalt = ?, "
                             "pretendDeletion = ?, file = ?, user = ? WHERE pk = ?",
                             customTitle, date, pages, localPath, hasRedlining, redliningSalt,
                             pretendDeletion, fileKey, userKey, pk);
}

Status ShareFile::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    prepareForDeletion(context);
    auto itemLinks = links(context);
    if (!itemLinks.ok()) {
        return itemLinks.error();
    }
    for (ShareLink& link : itemLinks.value()) {
        if (Status deleted = link.deleteRecord(context); !deleted.ok()) {
            return deleted;
        }
    }
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM ShareFile WHERE pk = ?", pk);
    if (deleted.ok()) {
        context.noteChanged("Bookmark");
        pk = 0;
    }
    return deleted;
}

void ShareFile::deleteFile(StoreContext& context) const {
    if (localPath && !localPath->empty()) {
        StoredPath::removeStoredFileAfterCommit(context, *localPath);
    }
    auto identifier = getUserRedliningId(context);
    if (!identifier.ok()) {
        PW_LOG_ERROR_VALUE(identifier.error());
        return;
    }
    if (identifier.value()) {
        context.afterCommit([identifier = *identifier.value()] {
            StoreHooks::annotationSets()->removeAnnotationSet(identifier);
        });
    }
}

void ShareFile::prepareForDeletion(StoreContext& context) const {
    deleteFile(context);
}

}  // namespace pagewell
