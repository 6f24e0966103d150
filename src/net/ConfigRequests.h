#pragma once
// Configuration fetched from the server: the theme and its logo, the video-channel settings and
// the usage-tracking configuration. Offline, each calls its completion at once with no data.
//
// Threading: a ConfigRequests is a thin handle used on the main thread; callbacks run on the
// main queue, exactly one per call.

#include <functional>
#include <string>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"

namespace pagewell {

class ConfigRequests {
  public:
    using Json = nlohmann::json;
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;
    using JsonCompletion = std::function<void(const Json& answer)>;
    // The image bytes as received; empty offline.
    using ImageCompletion = std::function<void(const std::string& bytes)>;

    explicit ConfigRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                            EndpointDelegates& delegates = EndpointDelegates::shared());

    // GET theme/dump, without token; JSON also when labelled "text/html".
    void getTheme(JsonCompletion completion, ErrorCallback error);
    // GET `path` (relative to the base address, or absolute): a PNG or JPEG image.
    void getLogoFromPath(const std::string& path, ImageCompletion completion, ErrorCallback error);
    // GET youtube/config/LOCALE (framed): the decoded answer.
    void getYouTubeSettings(JsonCompletion completion, ErrorCallback error);
    // GET tracking/config (framed): "config" goes to the tracking manager; without it the
    // error "VXTracking" -1 kNoTrackingConfig.
    void getTrackingSettings(Done completion, ErrorCallback error);

    static constexpr const char* kThemePath = "theme/dump";
    static constexpr const char* kNoTrackingConfig = "No config dictionary found.";

  private:
    RequestRunner runner_;
};

}  // namespace pagewell
