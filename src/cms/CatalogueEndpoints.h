#pragma once
// The catalogue routes of the framed API: locales, category lists and changes, the files of a
// category, highlights, keyword search, the id dump and the imprint, each per content language
// and per signed-in user. A missing or expired token gets 200 with an empty body, which is how
// a client learns to sign in again.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class CatalogueEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
