#include "sync/DownloadSessions.h"

namespace pagewell {

std::shared_ptr<HttpSession> DownloadSessions::sessionFor(const std::string& serverURL,
                                                          const HttpSessionOptions& options) {
    HttpSessionOptions shared = options;
    shared.maxConnectionsPerHost = connectionsPerHost_;
    if (!session_ || serverURL != serverURL_ || !(shared == options_)) {
        // Operations still running on the old session keep it alive until they end.
        session_ = std::make_shared<HttpSession>(serverURL, shared);
        serverURL_ = serverURL;
        options_ = shared;
    }
    return session_;
}

}  // namespace pagewell
