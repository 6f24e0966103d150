#include "net/ConfigRequests.h"

#include "platform/Logger.h"

namespace pagewell {

ConfigRequests::ConfigRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

void ConfigRequests::getTheme(JsonCompletion completion, ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(Json()); })) {
        return;
    }
    InterfaceManager::RawRequest request;
    request.path = kThemePath;
    request.acceptedContentTypes = {"text/html", InterfaceManager::kJsonContentType};
    runner_.manager().send(
        std::move(request),
        [completion, error](const InterfaceManager::RawResponse& response) {
            if (!response.json) {
                RequestRunner::fail(error, RequestRunner::badAnswer("The theme answer is empty."));
                return;
            }
            completion(*response.json);
        },
        RequestRunner::plainError(error));
}

void ConfigRequests::getLogoFromPath(const std::string& path, ImageCompletion completion,
                                     ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(std::string()); })) {
        return;
    }
    InterfaceManager::RawRequest request;
    request.path = path;
    request.acceptedContentTypes = {"image/png", "image/jpeg", "image/jpg"};
    request.decodeJson = false;
    runner_.manager().send(
        std::move(request),
        [completion, error](const InterfaceManager::RawResponse& response) {
            if (response.body.empty()) {
                RequestRunner::fail(error, RequestRunner::badAnswer("The logo answer is empty."));
                return;
            }
            completion(response.body);
        },
        RequestRunner::plainError(error));
}

void ConfigRequests::getYouTubeSettings(JsonCompletion completion, ErrorCallback error) {
    runner_.fetchWithLocale(
        [manager = &runner_.manager()](const std::string& localeID) {
            return manager->pathForRestMethod("config", "youtube", {localeID});
        },
        std::move(completion), std::move(error));
}

void ConfigRequests::getTrackingSettings(Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto tracking = runner_.delegates().tracking();
    if (!tracking) {
        RequestRunner::fail(error, EndpointDelegates::missing("tracking manager"));
        return;
    }
    InterfaceManager& manager = runner_.manager();
    manager.sendRequest(
        manager.pathForRestMethod("config", "tracking"),
        [tracking, completion, error](const Json& answer) {
            auto config = answer.is_object() ? answer.find("config") : answer.end();
            if (!answer.is_object() || config == answer.end() || !config->is_object()) {
                RequestRunner::fail(error, Error::make(InterfaceManager::kTrackingErrorDomain, -1,
                                                       kNoTrackingConfig));
                return;
            }
            tracking->setupTrackingWithConfigDict(*config);
            completion();
        },
        error);
}

}  // namespace pagewell
