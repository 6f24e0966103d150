#include "platform/FileNameSanitizer.h"

#include <algorithm>

namespace pagewell {

std::string FileNameSanitizer::sanitizedFileName(std::string_view text) {
    std::string name;
    name.reserve(std::min(text.size(), kMaxLength));
    for (char c : text) {
        if (name.size() == kMaxLength) {
            break;
        }
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (c == '.' && name.empty()) {
            continue;
        }
        name.push_back(kept ? c : '_');
    }
    return name.empty() ? kFallbackName : name;
}

}  // namespace pagewell
