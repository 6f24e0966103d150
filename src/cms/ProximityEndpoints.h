#pragma once
// The proximity routes: the beacon, customer (with GPS position), customer-group and QR-code
// lists, and the files linked to one entry of each ("beacon/files/ID", ...). The file lists
// have the shape of a category's file list; their titles and visibility follow the "locale"
// query when one is given, else the user's first content language.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class ProximityEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
