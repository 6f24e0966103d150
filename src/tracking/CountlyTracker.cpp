#include "tracking/CountlyTracker.h"

#include <algorithm>
#include <cctype>

#include "platform/Logger.h"

namespace pagewell {

CountlyTracker::CountlyTracker(std::string appKey, std::string host,
                               std::shared_ptr<AnalyticsClient> client, Consent consent)
    : BaseTracker(std::move(client), std::move(consent)),
      appKey_(std::move(appKey)),
      host_(std::move(host)) {}

bool CountlyTracker::isAcceptableHost(const std::string& url) {
    std::string lower = url;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto hostAfter = [&](std::size_t prefix) {
        std::string rest = lower.substr(prefix);
        std::size_t end = rest.find_first_of("/?#");
        std::string authority = rest.substr(0, end);
        if (authority.find('@') != std::string::npos)
            return std::string();
        if (!authority.empty() && authority.front() == '[') {
            std::size_t close = authority.find(']');
            return close == std::string::npos ? std::string() : authority.substr(0, close + 1);
        }
        return authority.substr(0, authority.find(':'));
    };
    if (lower.rfind("https://", 0) == 0)
        return !hostAfter(8).empty();
    if (lower.rfind("http://", 0) == 0) {
        std::string host = hostAfter(7);
        return host == "localhost" || host == "[::1]" || host.rfind("127.", 0) == 0;
    }
    return false;
}

void CountlyTracker::send(const TrackEvent& event, const std::string& category) {
    PW_LOG_INFO("Countly Track Event: {}", event.description());
    client().record(service(), {{"key", event.eventTypeString()},
                                {"count", 1},
                                {"segmentation", {{category, event.label()}}}});
}

}  // namespace pagewell
