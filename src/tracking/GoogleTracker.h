#pragma once
// Feeds the page-view service: the screen name, a screen view, then the event with category,
// action, label and value. The tracking id configures the client and is never recorded.

#include "tracking/BaseTracker.h"

namespace pagewell {

class GoogleTracker final : public BaseTracker {
  public:
    GoogleTracker(std::string trackingId, std::shared_ptr<AnalyticsClient> client, Consent consent);
    std::string service() const override { return "google"; }
    const std::string& trackingId() const { return trackingId_; }

  protected:
    void send(const TrackEvent& event, const std::string& category) override;

  private:
    std::string trackingId_;
};

}  // namespace pagewell
