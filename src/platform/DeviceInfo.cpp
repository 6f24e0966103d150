#include "platform/DeviceInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <mutex>

namespace pagewell {

namespace {

std::mutex gInfoMutex;
std::shared_ptr<const DeviceInfo> gInfo;  // guarded by gInfoMutex

// The firmware's product name is the closest thing to a readable model a PC has; it is not
// readable in every container, so a generic name stands in.
std::string readableModel() {
    std::ifstream in("/sys/devices/virtual/dmi/id/product_name");
    std::string product;
    if (in && std::getline(in, product)) {
        while (!product.empty() && (product.back() == ' ' || product.back() == '\r')) {
            product.pop_back();
        }
        if (!product.empty()) {
            return product;
        }
    }
    return "Linux computer";
}

}  // namespace

DeviceInfo::Values DeviceInfo::systemValues() {
    Values values;
    struct utsname system {};
    if (::uname(&system) == 0) {
        values.systemName = system.sysname;
        values.systemVersion = system.release;
        values.hardwareIdentifier = system.machine;
        values.name = system.nodename;
    }
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0] != '\0') {
        values.name = host;
    }
    values.model = readableModel();
    return values;
}

DeviceInfo::DeviceInfo() : values_(systemValues()) {}

DeviceInfo::DeviceInfo(Values values) : values_(std::move(values)) {}

const DeviceInfo& DeviceInfo::shared() {
    std::lock_guard lock(gInfoMutex);
    if (!gInfo) {
        gInfo = std::make_shared<const DeviceInfo>();
    }
    return *gInfo;
}

void DeviceInfo::setShared(std::shared_ptr<const DeviceInfo> info) {
    std::lock_guard lock(gInfoMutex);
    gInfo = std::move(info);
}

}  // namespace pagewell
