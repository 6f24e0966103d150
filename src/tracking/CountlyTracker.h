#pragma once
// Feeds the self-hosted analytics service: an event keyed by the action, count 1, whose
// segmentation has one entry, category -> label. The host must be https (http only on a
// loopback address); isAcceptableHost() is checked before one is made.

#include "tracking/BaseTracker.h"

namespace pagewell {

class CountlyTracker final : public BaseTracker {
  public:
    CountlyTracker(std::string appKey, std::string host, std::shared_ptr<AnalyticsClient> client,
                   Consent consent);
    std::string service() const override { return "countly"; }
    const std::string& appKey() const { return appKey_; }
    const std::string& host() const { return host_; }

    static bool isAcceptableHost(const std::string& url);

  protected:
    void send(const TrackEvent& event, const std::string& category) override;

  private:
    std::string appKey_;
    std::string host_;
};

}  // namespace pagewell
