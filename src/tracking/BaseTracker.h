#pragma once
// A tracker maps an event to one analytics service's call. Service trackers send only while the
// user's consent (asked through `consent`) is given.

#include <functional>
#include <memory>
#include <string>

#include "tracking/AnalyticsClient.h"
#include "tracking/TrackEvent.h"

namespace pagewell {

class BaseTracker {
  public:
    using Consent = std::function<bool()>;

    BaseTracker(std::shared_ptr<AnalyticsClient> client, Consent consent);
    virtual ~BaseTracker() = default;
    BaseTracker(const BaseTracker&) = delete;
    BaseTracker& operator=(const BaseTracker&) = delete;

    // The service this tracker feeds; one tracker per service is kept.
    virtual std::string service() const = 0;
    // `category` is the event's category for the current content language.
    void trackEvent(const TrackEvent& event, const std::string& category);

  protected:
    // The service's call for an event that passed the consent check.
    virtual void send(const TrackEvent& event, const std::string& category) = 0;
    AnalyticsClient& client() { return *client_; }

  private:
    std::shared_ptr<AnalyticsClient> client_;
    Consent consent_;
};

}  // namespace pagewell
