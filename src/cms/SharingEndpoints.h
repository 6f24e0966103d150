#pragma once
// The routes of read confirmations and share links: "read/confirm/F" records that a user
// confirmed a file; "share/readstate" registers a link a user sent (POST) and reports whether
// it was opened (GET); "share/L/F/TIME/USER/SIGNATURE/LINKID" is the address a recipient
// opens: it needs no token, checks the signature (ShareLinkSignature), marks the link read and
// answers the file's content. Everything recorded lives in the server's state file.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class SharingEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
