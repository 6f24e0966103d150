#include "store/ThumbnailURL.h"

#include <vector>

#include "platform/Logger.h"

namespace pagewell {

std::string ThumbnailURL::thumbnailURLForWidth(std::string_view fileURL, int width) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = fileURL.find('/', start);
        if (end == std::string_view::npos) {
            parts.push_back(fileURL.substr(start));
            break;
        }
        parts.push_back(fileURL.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() < 2) {
        PW_LOG_WARNING("FileParts count < 2");
        return {};
    }
    const std::string widthText = std::to_string(width);
    parts[parts.size() - 2] = widthText;
    std::string result;
    for (std::string_view part : parts) {
        if (!part.empty()) {
            result += '/';
            result += part;
        }
    }
    return result;
}

}  // namespace pagewell
