#include "tracking/TrackEvent.h"

#include <fmt/format.h>

#include "tracking/TrackingManager.h"

namespace pagewell {

TrackEvent::TrackEvent(std::int32_t type, std::string label, std::optional<double> value,
                       std::string screenName)
    : type_(type), label_(std::move(label)), value_(value), screenName_(std::move(screenName)) {}

std::string TrackEvent::eventTypeString() const {
    switch (type_) {
        case 1:
            return "login";
        case 2:
            return "logout";
        case 3:
            return "docOpen";
        case 4:
            return "docDownload";
        case 5:
            return "docFavorite";
        case 6:
            return "docShare";
        default:
            return "unknown";
    }
}

std::string TrackEvent::category(const std::string& localeTitle) const {
    switch (type_) {
        case 1:
            return "Login";
        case 2:
            return "Logout";
        case 3:
        case 4:
        case 5:
        case 6:
            return localeTitle;
        default:
            return "unknown";
    }
}

std::string TrackEvent::description() const {
    return fmt::format("screen: {}, type: {}, label: {}, value: {}", screenName_, eventTypeString(),
                       label_, value_ ? fmt::format("{}", *value_) : std::string("(null)"));
}

void TrackEvent::track() const {
    TrackingManager::sharedInstance().shouldTrackEvent(*this);
}

}  // namespace pagewell
