#pragma once
// An asset used by the interactive content of a PDF file (films, images, sounds placed on its
// pages), downloaded beside the file. The importer replaces a file's resources as a whole set
// on every import of the file. `path` is a stored path (see StoredPath).
// A plain value; its operations run in the store context they are given.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Resource {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> url;
    std::optional<std::string> path;
    std::optional<std::string> title;  // last component of url, capitalised
    std::optional<std::int64_t> type;  // the server's asset type code
    std::optional<std::int64_t> size;
    std::optional<std::int64_t> position;
    std::optional<std::int64_t> pdfPage;  // page of the annotation using it; 0 when unknown
    bool downloaded = false;
    std::optional<std::int64_t> fileKey;  // File.resources (to-one here)

    static Result<std::optional<Resource>> find(StoreContext& context, std::int64_t pk);
    // The resources of the file with that row key, in the order they were stored.
    static Result<std::vector<Resource>> resourcesOfFile(StoreContext& context,
                                                         std::int64_t filePk);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // prepareForDeletion, then the row.
    Status deleteRecord(StoreContext& context);

    // Takes a server asset dictionary together with the "annotations" array of the file's
    // answer, which tells on which page the asset is used:
    //   {"id": 5, "url": ".../clip.mp4", "biggest_file_size": 10, "annotation_position": 2,
    //    "type": 3, "annotations": [{"page": 4, "asset_ids": [5, 9]}]}
    void setProperties(const nlohmann::json& properties);

    // Removes the downloaded copy at `path` when it is there, once the context's open changes
    // commit (at once without a transaction); the record is left as it is (the download queue
    // decides what to fetch again). Best effort: failures are logged.
    void deleteFile(StoreContext& context) const;
    void prepareForDeletion(StoreContext& context) const;
};

}  // namespace pagewell
