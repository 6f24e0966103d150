#pragma once
// Sign-in routes: the header login "auth/loginv2" (HEAD probe and GET), its twin
// "auth/appConnectLogin", the fallback "auth/login/USER/PASS/UID/SECRET", "auth/logout" and,
// under the plain API base, "auth/forgot". Handlers are stateless apart from CmsServices.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class AuthEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
};

}  // namespace pagewell::cms
