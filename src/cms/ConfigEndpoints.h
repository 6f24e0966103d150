#pragma once
// The configuration routes: the API version, the client-version and maintenance checks (both
// answer without a token, since clients ask before signing in), the push registration of an
// installation, the tracking and video-channel settings, and the theme with its two logos.
// Tracking, video channel and theme come from the catalogue's "tracking", "youtube" and "theme"
// sections (CatalogueFormat.md); the minimum client version and the maintenance flag from the
// server options.

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class ConfigEndpoints {
  public:
    static constexpr const char* kApiVersion = "2.0";
    // Where theme logos are served: PATH/SIZE/NAME, any size, no token (the login screen shows
    // the logo before anybody has signed in).
    static constexpr const char* kLogoPath = "/api2/theme/logo";

    static void addTo(RouteTable& routes, const CmsServices& services);

    // Compares dotted version texts numerically ("3.10" > "3.9"; missing parts count as 0,
    // anything after the digits of a part is ignored). Negative, zero or positive.
    static int compareVersions(const std::string& a, const std::string& b);
};

}  // namespace pagewell::cms
