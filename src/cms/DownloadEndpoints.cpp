#include "cms/DownloadEndpoints.h"

#include "platform/FileSystem.h"
#include "platform/Logger.h"

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
        auto bytes = FileSystem::readFile(item->path);
        if (!bytes.ok()) {
            PW_LOG_ERROR_VALUE(bytes.error());
            return CmsResponse::error(500, "cannot read the file");
        }
        response.body = std::move(bytes).value();
        return response;
    });
}

}  // namespace pagewell::cms
