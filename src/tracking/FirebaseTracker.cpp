#include "tracking/FirebaseTracker.h"

#include "platform/Logger.h"

namespace pagewell {

FirebaseTracker::FirebaseTracker(std::shared_ptr<AnalyticsClient> client, Consent consent)
    : BaseTracker(std::move(client), std::move(consent)) {}

void FirebaseTracker::send(const TrackEvent& event, const std::string& category) {
    PW_LOG_INFO("Firebase Track Event: {}", event.description());
    client().record(service(), {{"name", event.eventTypeString()},
                                {"parameters", {{"locale", category}, {"label", event.label()}}}});
}

}  // namespace pagewell
