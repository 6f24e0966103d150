#pragma once
// Serves file contents, thumbnails (any width in the second-to-last address segment) and
// assets from the addresses the file lists name, below "/media/". A missing or expired token
// gets 200 with an empty body; byte ranges are honoured. Only what the catalogue names is
// served, and only from below its directory.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class DownloadEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
