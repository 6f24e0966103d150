#pragma once
// The preview image of a file. A file has at most one thumbnail record (File.thumbnail); the
// importer reuses the file's existing one. filePath and smallFilePath are stored paths (see
// StoredPath); smallFilePath is a reduced cover kept in the file's item directory.
// A plain value; its operations run in the store context they are given.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Thumbnail {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> fileURL;  // server location ("file_location")
    std::optional<std::string> filePath;
    std::optional<std::string> smallFilePath;
    std::optional<SystemTime> modified;
    std::optional<std::int64_t> size;
    bool downloaded = false;

    static Result<std::optional<Thumbnail>> find(StoreContext& context, std::int64_t pk);
    // The thumbnail of the file with that row key, when it has one.
    static Result<std::optional<Thumbnail>> thumbnailOfFile(StoreContext& context,
                                                            std::int64_t filePk);
    // Row keys of the files showing this image (File.thumbnail).
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    // Makes this the thumbnail of the file (the file's to-one relationship).
    Status addFile(StoreContext& context, std::int64_t filePk) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // prepareForDeletion, then the row; the files keep no link to it.
    Status deleteRecord(StoreContext& context);

    // Takes a server thumbnail dictionary. A changed "file_location" discards the downloaded
    // image (it shows the old picture); the same location keeps it. With a context the image
    // leaves the disk only when the context's open changes commit.
    void setProperties(const nlohmann::json& properties);
    void setProperties(StoreContext& context, const nlohmann::json& properties);
    // The address of this image rendered at `width` (see ThumbnailURL).
    std::string thumbnailURLForWidth(int width) const;

    // Removes both images from disk and clears both paths; the record stays (written, not
    // saved). The images go once the context's open changes commit (at once without a
    // transaction). Disk failures are logged, never reported; the result is the store's.
    Status deleteFile(StoreContext& context);
    // Removes both images from disk, best effort; run before the record is deleted. Without a
    // context at once, with one after its open changes commit.
    void prepareForDeletion();
    void prepareForDeletion(StoreContext& context);

  private:
    // setProperties; a null context removes a discarded image at once.
    void applyProperties(const nlohmann::json& properties, StoreContext* context);
};

}  // namespace pagewell
