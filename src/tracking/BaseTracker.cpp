#include "tracking/BaseTracker.h"

namespace pagewell {

BaseTracker::BaseTracker(std::shared_ptr<AnalyticsClient> client, Consent consent)
    : client_(std::move(client)), consent_(std::move(consent)) {}

void BaseTracker::trackEvent(const TrackEvent& event, const std::string& category) {
    if (!client_ || !consent_ || !consent_())
        return;
    send(event, category);
}

}  // namespace pagewell
