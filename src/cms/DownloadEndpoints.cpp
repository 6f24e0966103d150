#include "cms/DownloadEndpoints.h"

#include <fmt/format.h>

#include <cstdint>
#include <filesystem>
#include <sstream>

#include "net/SHA1Generator.h"
#include "platform/HttpDate.h"

namespace pagewell::cms {

namespace {

// Whether a client's copy, named by its validators, is still what the address serves. An
// If-None-Match decides alone; If-Modified-Since counts only without it.
bool copyIsCurrent(const CmsRequest& request, const std::string& eTag,
                   const std::optional<std::string>& lastModified) {
    if (auto match = request.header("If-None-Match")) {
        std::istringstream tags(*match);
        std::string tag;
        while (std::getline(tags, tag, ',')) {
            tag.erase(0, tag.find_first_not_of(" \t"));
            tag.erase(tag.find_last_not_of(" \t") + 1);
            if (tag.rfind("W/", 0) == 0) {
                tag.erase(0, 2);
            }
            if (tag == "*" || tag == eTag) {
                return true;
            }
        }
        return false;
    }
    auto since = request.header("If-Modified-Since");
    if (!since || !lastModified) {
        return false;
    }
    auto sinceDate = HttpDate::parse(*since);
    auto modifiedDate = HttpDate::parse(*lastModified);
    return sinceDate && modifiedDate && *modifiedDate <= *sinceDate;
}

// A file on disk is known by its size and time, as common servers know it, so no byte is read
// for the tag; content a test hook put in place by its digest.
std::string entityTag(const DownloadItem& item) {
    if (item.bytes) {
        return "\"" + SHA1Generator::getSHA1Hash(*item.bytes) + "\"";
    }
    std::error_code timeFailed;
    std::error_code sizeFailed;
    const auto written = std::filesystem::last_write_time(item.path, timeFailed);
    const std::uintmax_t size = std::filesystem::file_size(item.path, sizeFailed);
    const auto ticks = static_cast<std::uint64_t>(written.time_since_epoch().count());
    return fmt::format("\"{:x}-{:x}\"", timeFailed ? 0 : ticks,
                       sizeFailed ? std::uintmax_t{0} : size);
}

}  // namespace

void DownloadEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    routes.add("GET", "^/media/.+$", [&services](const CmsRequest& request) {
        if (!services.authenticatedUser(request)) {
            return CmsResponse::empty();
        }
        auto item = services.catalogue.download(request.path);
        if (!item) {
            return CmsResponse::error(404, "not found");
        }
        CmsResponse response;
        response.contentType = item->mimeType;
        // Validators, so a client asks whether its copy is current instead of fetching it.
        const std::string eTag = entityTag(*item);
        std::optional<std::string> lastModified;
        if (item->modified) {
            lastModified = HttpDate::format(*item->modified);
        }
        response.headers.emplace_back("ETag", eTag);
        if (lastModified) {
            response.headers.emplace_back("Last-Modified", *lastModified);
        }
        if (copyIsCurrent(request, eTag, lastModified)) {
            response.status = 304;
            return response;
        }
        response.rangeable = true;
        if (item->bytes) {
            response.body = *item->bytes;
            return response;
        }
        // Streamed from disk as it is sent: a download never holds the whole file in memory.
        response.file = item->path;
        return response;
    });
}

}  // namespace pagewell::cms
