#include "tracking/TrackingManager.h"

#include <system_error>

#include "diag/LogRedactor.h"
#include "platform/Logger.h"
#include "tracking/CountlyTracker.h"
#include "tracking/FirebaseTracker.h"
#include "tracking/GoogleTracker.h"

namespace pagewell {

TrackingManager& TrackingManager::sharedInstance() {
    static TrackingManager instance;
    return instance;
}

void TrackingManager::configure(std::shared_ptr<AnalyticsClient> client,
                                BaseTracker::Consent consent, LocaleTitle localeTitle,
                                bool firebaseConfigShipped) {
    std::lock_guard lock(mutex_);
    client_ = std::move(client);
    consent_ = std::move(consent);
    localeTitle_ = std::move(localeTitle);
    firebaseConfigShipped_ = firebaseConfigShipped;
}

void TrackingManager::enableTracking(bool enabled) {
    std::lock_guard lock(mutex_);
    enabled_ = enabled;
}

bool TrackingManager::trackingEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void TrackingManager::addTracker(std::shared_ptr<BaseTracker> tracker) {
    if (!tracker)
        return;
    std::lock_guard lock(mutex_);
    auto copy = std::make_shared<Trackers>(*trackers_);
    bool replaced = false;
    for (auto& existing : *copy) {
        if (existing->service() == tracker->service()) {
            existing = tracker;
            replaced = true;
        }
    }
    if (!replaced)
        copy->push_back(std::move(tracker));
    trackers_ = std::move(copy);
}

TrackingManager::Trackers TrackingManager::trackers() const {
    std::lock_guard lock(mutex_);
    return *trackers_;
}

void TrackingManager::shouldTrackEvent(const TrackEvent& event) {
    std::shared_ptr<const Trackers> trackers;
    LocaleTitle localeTitle;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_)
            return;
        trackers = trackers_;
        localeTitle = localeTitle_;
    }
    const std::string category = event.category(localeTitle ? localeTitle() : std::string());
    for (const auto& tracker : *trackers)
        tracker->trackEvent(event, category);
}

bool TrackingManager::hasFirebaseConfig(const std::filesystem::path& shippedDataDirectory) {
    std::error_code ec;
    return std::filesystem::is_regular_file(shippedDataDirectory / "GoogleService-Info.plist", ec);
}

bool TrackingManager::firebaseConfigShipped() const {
    std::lock_guard lock(mutex_);
    return firebaseConfigShipped_;
}

void TrackingManager::setupFirebaseTracking() {
    std::shared_ptr<AnalyticsClient> client;
    BaseTracker::Consent consent;
    {
        std::lock_guard lock(mutex_);
        client = client_;
        consent = consent_;
    }
    addTracker(std::make_shared<FirebaseTracker>(client, consent));
    enableTracking(true);
    PW_LOG_INFO("Firebase Tracking enabled");
}

void TrackingManager::setupTrackingWithConfigDict(const nlohmann::json& config) {
    // The entries carry service keys: they are masked before the configuration is logged.
    nlohmann::json shown = config;
    if (shown.is_object()) {
        for (auto& entry : shown) {
            if (entry.is_object() && entry.contains("apiKey"))
                entry["apiKey"] = LogRedactor::kMask;
        }
    }
    PW_LOG_INFO("Tracking config: {}", shown.dump());
    std::shared_ptr<AnalyticsClient> client;
    BaseTracker::Consent consent;
    bool firebase = false;
    {
        std::lock_guard lock(mutex_);
        client = client_;
        consent = consent_;
        firebase = firebaseConfigShipped_;
    }
    auto text = [](const nlohmann::json& entry, const char* key) -> std::string {
        auto it = entry.find(key);
        return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    bool added = false;
    if (config.is_object()) {
        auto countly = config.find("countly");
        if (countly != config.end() && countly->is_object()) {
            std::string key = text(*countly, "apiKey");
            std::string url = text(*countly, "url");
            if (key.empty() || !CountlyTracker::isAcceptableHost(url)) {
                PW_LOG_WARNING(
                    "Tracking config: countly entry skipped (missing key or unsafe url)");
            } else {
                addTracker(std::make_shared<CountlyTracker>(key, url, client, consent));
                added = true;
            }
        }
        auto google = config.find("google");
        if (google != config.end() && google->is_object()) {
            std::string id = text(*google, "apiKey");
            if (id.empty()) {
                PW_LOG_WARNING("Tracking config: google entry skipped (missing key)");
            } else {
                addTracker(std::make_shared<GoogleTracker>(id, client, consent));
                added = true;
            }
        }
    }
    if (firebase)
        addTracker(std::make_shared<FirebaseTracker>(client, consent));
    enableTracking(added);
}

void TrackingManager::reset() {
    std::lock_guard lock(mutex_);
    trackers_ = std::make_shared<const Trackers>();
    enabled_ = false;
    client_.reset();
    consent_ = {};
    localeTitle_ = {};
    firebaseConfigShipped_ = false;
}

}  // namespace pagewell
