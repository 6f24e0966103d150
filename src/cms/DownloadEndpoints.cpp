#include "cms/DownloadEndpoints.h"

namespace pagewell::cms {

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
