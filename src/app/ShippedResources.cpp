#include "app/ShippedResources.h"

#include <cstdlib>

namespace pagewell {

ShippedResources::Path ShippedResources::directory() {
    if (const char* overridden = std::getenv(kDirectoryVariable); overridden && *overridden) {
        return Path(overridden);
    }
    return Path(PAGEWELL_SHIPPED_DATA_DIR);
}

ShippedResources::Path ShippedResources::path(std::string_view fileName) {
    return directory() / Path(fileName);
}

}  // namespace pagewell
