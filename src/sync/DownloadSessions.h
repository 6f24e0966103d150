#pragma once
// The HTTP session the file downloads of one sync manager share, so that connections to the
// server are reused from file to file, as a browser or curl does, instead of each file opening
// connections of its own (and a worker thread to drive them) that the server must then accept
// and close again. A new session replaces the old one when the server or the transfer options
// change (a sign-in to another server, a company authority added).
//
// Threading: main queue; sessions are destroyed there.

#include <memory>
#include <string>

#include "platform/HttpSession.h"

namespace pagewell {

class DownloadSessions {
  public:
    // `connectionsPerHost`: the connections the shared session may hold to the server, in place
    // of the options' own limit, which is meant for a single operation's transfers.
    explicit DownloadSessions(int connectionsPerHost) : connectionsPerHost_(connectionsPerHost) {}

    std::shared_ptr<HttpSession> sessionFor(const std::string& serverURL,
                                            const HttpSessionOptions& options);

  private:
    int connectionsPerHost_;
    std::string serverURL_;
    HttpSessionOptions options_;
    std::shared_ptr<HttpSession> session_;
};

}  // namespace pagewell
