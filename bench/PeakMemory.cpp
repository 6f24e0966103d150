#include "PeakMemory.h"

#include <fstream>
#include <string>

namespace pagewell::bench {

namespace {

// A "Name:   1234 kB" line of /proc/self/status, in MiB; 0 when it is missing.
double statusMiB(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) == 0) {
            return std::stod(line.substr(name.size() + 1)) / 1024.0;
        }
    }
    return 0;
}

}  // namespace

void PeakMemory::start() {
    std::ofstream("/proc/self/clear_refs") << "5";
    startMiB_ = statusMiB("VmRSS");
}

double PeakMemory::peakMiB() const {
    return statusMiB("VmHWM");
}

}  // namespace pagewell::bench
