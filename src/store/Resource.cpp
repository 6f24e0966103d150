#include "store/Resource.h"

#include <nlohmann/json.hpp>

#include <cctype>

#include "store/EntityRows.h"
#include "store/JsonNumber.h"
#include "store/StoredPath.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Resource";

#define RESOURCE_COLUMNS \
    "pk, cmsID, url, path, title, type, size, position, pdfPage, downloaded, file"

Resource readResource(Statement& row) {
    Resource resource;
    resource.pk = row.integer(0);
    resource.cmsID = row.optionalInteger(1);
    resource.url = row.optionalText(2);
    resource.path = row.optionalText(3);
    resource.title = row.optionalText(4);
    resource.type = row.optionalInteger(5);
    resource.size = row.optionalInteger(6);
    resource.position = row.optionalInteger(7);
    resource.pdfPage = row.optionalInteger(8);
    resource.downloaded = row.boolean(9);
    resource.fileKey = row.optionalInteger(10);
    return resource;
}

std::string lastPathComponent(std::string_view url) {
    while (url.size() > 1 && url.ends_with('/')) {
        url.remove_suffix(1);
    }
    std::size_t slash = url.rfind('/');
    if (slash == std::string_view::npos || url.size() == 1) {
        return std::string(url);
    }
    return std::string(url.substr(slash + 1));
}

// Each word (delimited by blanks) starts upper case and goes on lower case: "clip.MP4" gives
// "Clip.mp4". Bytes outside ASCII are kept as they are.
std::string capitalised(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    bool wordStart = true;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result.push_back(
                static_cast<char>(wordStart ? std::toupper(byte) : std::tolower(byte)));
        } else {
            result.push_back(c);
        }
        wordStart = byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
    }
    return result;
}

bool listsAsset(const nlohmann::json& assetIDs, std::int64_t cmsID) {
    if (!assetIDs.is_array()) {
        return false;
    }
    for (const auto& id : assetIDs) {
        if ((id.is_number() || id.is_string()) && JsonNumber::integer(id) == cmsID) {
            return true;
        }
    }
    return false;
}

// The page of the first annotation whose "asset_ids" hold the asset; 0 when none does or
// that annotation has no page.
std::int64_t pageOfAsset(const nlohmann::json& properties, std::optional<std::int64_t> cmsID) {
    if (!cmsID || !properties.is_object()) {
        return 0;
    }
    auto annotations = properties.find("annotations");
    if (annotations == properties.end() || !annotations->is_array()) {
        return 0;
    }
    for (const auto& annotation : *annotations) {
        if (!annotation.is_object()) {
            continue;
        }
        auto assetIDs = annotation.find("asset_ids");
        if (assetIDs != annotation.end() && listsAsset(*assetIDs, *cmsID)) {
            return JsonNumber::integer(annotation, "page").value_or(0);
        }
    }
    return 0;
}

}  // namespace

Result<std::optional<Resource>> Resource::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Resource>(
        context, "SELECT " RESOURCE_COLUMNS " FROM Resource WHERE pk = ?", readResource, pk);
}

Result<std::vector<Resource>> Resource::resourcesOfFile(StoreContext& context,
                                                        std::int64_t filePk) {
    return EntityRows::all<Resource>(
        context, "SELECT " RESOURCE_COLUMNS " FROM Resource WHERE file = ? ORDER BY pk",
        readResource, filePk);
}

Status Resource::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Resource (cmsID, url, path, title, type, size, position, pdfPage, "
            "downloaded, file) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            cmsID, url, path, title, type, size, position, pdfPage, downloaded, fileKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Resource SET cmsID = ?, url = ?, path = ?, title = ?, "
                             "type = ?, size = ?, position = ?, pdfPage = ?, downloaded = ?, "
                             "file = ? WHERE pk = ?",
                             cmsID, url, path, title, type, size, position, pdfPage, downloaded,
                             fileKey, pk);
}

Status Resource::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    prepareForDeletion(context);
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Resource WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

void Resource::setProperties(const nlohmann::json& properties) {
    size = JsonNumber::integer(properties, "biggest_file_size");
    cmsID = JsonNumber::integer(properties, "id");
    position = JsonNumber::integer(properties, "annotation_position");
    type = JsonNumber::integer(properties, "type");
    url = JsonNumber::text(properties, "url");
    title = url ? std::optional(capitalised(lastPathComponent(*url))) : std::nullopt;
    pdfPage = pageOfAsset(properties, cmsID);
}

void Resource::deleteFile(StoreContext& context) const {
    prepareForDeletion(context);
}

void Resource::prepareForDeletion(StoreContext& context) const {
    if (path && !path->empty()) {
        StoredPath::removeStoredFileAfterCommit(context, *path);
    }
}

}  // namespace pagewell
