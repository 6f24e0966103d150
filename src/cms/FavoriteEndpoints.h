#pragma once
// The favourite routes of one signed-in user: "favorite/folders" (create with a name in a
// locale, list one locale's folders, rename, delete with its files) and "favorite/files"
// (put a file into a folder or, with folder 0, among the favourites without folder; list;
// take out). Deletions of what is already gone succeed, so a client that retries a delete is
// never stuck. Everything lives in the server's state file.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class FavoriteEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
