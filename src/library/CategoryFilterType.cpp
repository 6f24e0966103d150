#include "library/CategoryFilterType.h"

namespace pagewell {

std::optional<CategoryFilterType> categoryFilterTypeFromInt(std::int64_t value) {
    if (value < 0 || value > 4) {
        return std::nullopt;
    }
    return static_cast<CategoryFilterType>(value);
}

CategoryFilterLabel categoryFilterLabel(CategoryFilterType type) {
    switch (type) {
        case CategoryFilterType::All:
            return {"ALL", "All"};
        case CategoryFilterType::Downloaded:
            return {"FILTER_DOWNLOADED", "Downloaded"};
        case CategoryFilterType::NotDownloaded:
            return {"FILTER_NOT_DOWNLOADED", "Not downloaded"};
        case CategoryFilterType::DownloadError:
            return {"FILTER_DOWNLOAD_ERROR", "Download Error"};
        case CategoryFilterType::UpdateAvailable:
            return {"FILTER_UPDATE_AVAILABLE", "Update available"};
    }
    return {"ALL", "All"};
}

}  // namespace pagewell
