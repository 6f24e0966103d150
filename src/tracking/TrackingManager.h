#pragma once
// The usage-tracking facade: every event passes through shouldTrackEvent() and, while tracking
// is enabled, reaches each tracker in the order they were first added. One tracker is kept per
// service: a later set-up replaces the tracker of a service rather than adding a second, so
// signing in again in one process never doubles the events.
//
// Threading: every operation may be called from any thread; the tracker list is an immutable
// snapshot replaced under mutex_, so dispatch runs without holding the lock.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/TrackingConfiguring.h"
#include "tracking/AnalyticsClient.h"
#include "tracking/BaseTracker.h"

namespace pagewell {

class TrackingManager final : public TrackingConfiguring {
  public:
    using Trackers = std::vector<std::shared_ptr<BaseTracker>>;
    using LocaleTitle = std::function<std::string()>;

    TrackingManager() = default;
    TrackingManager(const TrackingManager&) = delete;
    TrackingManager& operator=(const TrackingManager&) = delete;

    static TrackingManager& sharedInstance();

    // Where new trackers send, how they ask for consent, where the document events' category
    // comes from, and whether the shipped data holds the app-analytics configuration.
    void configure(std::shared_ptr<AnalyticsClient> client, BaseTracker::Consent consent,
                   LocaleTitle localeTitle, bool firebaseConfigShipped);

    void enableTracking(bool enabled);
    bool trackingEnabled() const;
    // Adds `tracker`, replacing (in place) one of the same service.
    void addTracker(std::shared_ptr<BaseTracker> tracker);
    Trackers trackers() const;
    void shouldTrackEvent(const TrackEvent& event);

    // True when "GoogleService-Info.plist" is among the files in `shippedDataDirectory`.
    static bool hasFirebaseConfig(const std::filesystem::path& shippedDataDirectory);
    bool firebaseConfigShipped() const;
    // Adds the app-analytics tracker and enables tracking.
    void setupFirebaseTracking();
    // "countly" {"apiKey", "url"} and "google" {"apiKey"} entries become trackers (malformed
    // entries and hosts that are neither https nor loopback http are skipped); tracking is
    // enabled when either produced one.
    void setupTrackingWithConfigDict(const nlohmann::json& config) override;

    // Forgets trackers and configuration (a new process state, for tests and sign-out).
    void reset();

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Trackers> trackers_ = std::make_shared<const Trackers>();  // mutex_
    bool enabled_ = false;                                                           // mutex_
    std::shared_ptr<AnalyticsClient> client_;                                        // mutex_
    BaseTracker::Consent consent_;                                                   // mutex_
    LocaleTitle localeTitle_;                                                        // mutex_
    bool firebaseConfigShipped_ = false;                                             // mutex_
};

}  // namespace pagewell
