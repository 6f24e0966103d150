#include "store/Thumbnail.h"

#include <nlohmann/json.hpp>

#include "store/EntityRows.h"
#include "store/JsonNumber.h"
#include "store/ServerDate.h"
#include "store/StoredPath.h"
#include "store/ThumbnailURL.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Thumbnail";

#define THUMBNAIL_COLUMNS                                                    \
    "Thumbnail.pk, Thumbnail.cmsID, Thumbnail.fileURL, Thumbnail.filePath, " \
    "Thumbnail.smallFilePath, Thumbnail.modified, Thumbnail.size, Thumbnail.downloaded"

Thumbnail readThumbnail(Statement& row) {
    Thumbnail thumbnail;
    thumbnail.pk = row.integer(0);
    thumbnail.cmsID = row.optionalInteger(1);
    thumbnail.fileURL = row.optionalText(2);
    thumbnail.filePath = row.optionalText(3);
    thumbnail.smallFilePath = row.optionalText(4);
    thumbnail.modified = row.optionalTime(5);
    thumbnail.size = row.optionalInteger(6);
    thumbnail.downloaded = row.boolean(7);
    return thumbnail;
}

// Clears the stored path first, so that a failed removal never leaves the record pointing at
// a file it no longer owns, then removes the file when it is there: at once, or with a
// context once its open changes commit.
void discardImage(std::optional<std::string>& storedPath, StoreContext* context = nullptr) {
    std::optional<std::string> path = std::exchange(storedPath, std::nullopt);
    if (!path || path->empty()) {
        return;
    }
    if (context != nullptr) {
        StoredPath::removeStoredFileAfterCommit(*context, std::move(*path));
    } else {
        StoredPath::removeStoredFile(*path);
    }
}

}  // namespace

Result<std::optional<Thumbnail>> Thumbnail::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Thumbnail>(
        context, "SELECT " THUMBNAIL_COLUMNS " FROM Thumbnail WHERE pk = ?", readThumbnail, pk);
}

Result<std::optional<Thumbnail>> Thumbnail::thumbnailOfFile(StoreContext& context,
                                                            std::int64_t filePk) {
    return EntityRows::first<Thumbnail>(context,
                                        "SELECT " THUMBNAIL_COLUMNS
                                        " FROM Thumbnail JOIN File ON File.thumbnail = "
                                        "Thumbnail.pk WHERE File.pk = ?",
                                        readThumbnail, filePk);
}

Result<std::vector<std::int64_t>> Thumbnail::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT pk FROM File WHERE thumbnail = ? ORDER BY pk", pk);
}

Status Thumbnail::addFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File", "UPDATE File SET thumbnail = ? WHERE pk = ?", pk,
                             filePk);
}

Status Thumbnail::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Thumbnail (cmsID, fileURL, filePath, smallFilePath, modified, size, "
            "downloaded) VALUES (?, ?, ?, ?, ?, ?, ?)",
            cmsID, fileURL, filePath, smallFilePath, modified, size, downloaded);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Thumbnail SET cmsID = ?, fileURL = ?, filePath = ?, "
                             "smallFilePath = ?, modified = ?, size = ?, downloaded = ? "
                             "WHERE pk = ?",
                             cmsID, fileURL, filePath, smallFilePath, modified, size, downloaded,
                             pk);
}

Status Thumbnail::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    prepareForDeletion(context);
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Thumbnail WHERE pk = ?", pk);
    if (deleted.ok()) {
        context.noteChanged("File");  // File.thumbnail was set to none
        pk = 0;
    }
    return deleted;
}

void Thumbnail::setProperties(const nlohmann::json& properties) {
    applyProperties(properties, nullptr);
}

void Thumbnail::setProperties(StoreContext& context, const nlohmann::json& properties) {
    applyProperties(properties, &context);
}

void Thumbnail::applyProperties(const nlohmann::json& properties, StoreContext* context) {
    std::optional<std::string> location = JsonNumber::text(properties, "file_location");
    // The server's thumbnail dictionaries carry the address under "file_location" and never
    // under "fileURL"; comparing "fileURL" threw the image away and fetched it again on every
    // import of the file. The stored fileURL is compared with "file_location" instead.
    if (location != fileURL) {
        discardImage(filePath, context);
    }
    fileURL = location;
    modified = ServerDate::parseJson(properties, "file_modified");
    size = JsonNumber::integer(properties, "file_size");
    cmsID = JsonNumber::integer(properties, "id");
}

std::string Thumbnail::thumbnailURLForWidth(int width) const {
    return ThumbnailURL::thumbnailURLForWidth(fileURL.value_or(std::string()), width);
}

Status Thumbnail::deleteFile(StoreContext& context) {
    if (pk == 0) {
        prepareForDeletion(context);
        return {};
    }
    // Opened first, so the images wait for the commit that clears their paths.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    prepareForDeletion(context);
    return update(context);
}

void Thumbnail::prepareForDeletion() {
    discardImage(filePath);
    discardImage(smallFilePath);
}

void Thumbnail::prepareForDeletion(StoreContext& context) {
    discardImage(filePath, &context);
    discardImage(smallFilePath, &context);
}

}  // namespace pagewell
