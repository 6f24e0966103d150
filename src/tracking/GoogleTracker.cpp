#include "tracking/GoogleTracker.h"

namespace pagewell {

GoogleTracker::GoogleTracker(std::string trackingId, std::shared_ptr<AnalyticsClient> client,
                             Consent consent)
    : BaseTracker(std::move(client), std::move(consent)), trackingId_(std::move(trackingId)) {}

void GoogleTracker::send(const TrackEvent& event, const std::string& category) {
    client().record(service(), {{"hit", "screenview"}, {"&cd", event.screenName()}});
    nlohmann::json hit = {{"hit", "event"},
                          {"category", category},
                          {"action", event.eventTypeString()},
                          {"label", event.label()},
                          {"value", nullptr}};
    if (event.value())
        hit["value"] = *event.value();
    client().record(service(), hit);
}

}  // namespace pagewell
