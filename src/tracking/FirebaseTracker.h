#pragma once
// Feeds the app-analytics service: an event named after the action with the parameters
// "locale" (the category) and "label".

#include "tracking/BaseTracker.h"

namespace pagewell {

class FirebaseTracker final : public BaseTracker {
  public:
    FirebaseTracker(std::shared_ptr<AnalyticsClient> client, Consent consent);
    std::string service() const override { return "firebase"; }

  protected:
    void send(const TrackEvent& event, const std::string& category) override;
};

}  // namespace pagewell
