#include "platform/RecordingDesktopOpener.h"

namespace pagewell {

Status RecordingDesktopOpener::open(const std::string& path) {
    if (failure_) {
        return *failure_;
    }
    opened_.push_back(path);
    return {};
}

}  // namespace pagewell
