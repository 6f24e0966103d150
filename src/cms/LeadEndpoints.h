#pragma once
// The lead-capture routes: the product and representation lists (the catalogue's
// "leadscan_products" and "leadscan_representations" sections), the registration of a contact
// report, and the two image uploads of a registered contact (one multipart part named
// "businesscard" or "photo", a JPEG image). A report registered again from the same device
// with the same local number replaces the earlier one and keeps its server id. Reports and
// images live in the server's state.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class LeadEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
