#pragma once
// `python3 -m http.server` serving a directory on a free loopback port, as a child process: the
// peer the reference server's file serving is measured against. stop() (or the destructor)
// ends it with SIGTERM and waits for it.
//
// Threading: one thread owns an instance.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/Error.h"

namespace pagewell::bench {

class PeerHttpServer {
  public:
    // Starts serving `directory`; returns once the server accepts connections.
    static Result<std::unique_ptr<PeerHttpServer>> serve(const std::filesystem::path& directory);

    ~PeerHttpServer();
    PeerHttpServer(const PeerHttpServer&) = delete;
    PeerHttpServer& operator=(const PeerHttpServer&) = delete;

    // "http://127.0.0.1:PORT".
    const std::string& baseUrl() const { return baseUrl_; }
    pid_t pid() const { return pid_; }
    void stop();

  private:
    PeerHttpServer(pid_t pid, std::string baseUrl) : pid_(pid), baseUrl_(std::move(baseUrl)) {}

    pid_t pid_ = -1;
    std::string baseUrl_;
};

}  // namespace pagewell::bench
