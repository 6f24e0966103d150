#pragma once
// The pagewell-cms reference server: loads a catalogue, binds a port and answers the content
// API on its own threads until stop(). The HTTP library stays inside CmsServer.cpp.
//
// Route groups are added in start(); further endpoint groups slot in as classes with
// addTo(RouteTable&, const CmsServices&), called there beside the others.
//
// Threading: create, start and stop from one thread; requests are handled on the server's
// worker threads through the thread-safe services.

#include <memory>
#include <string>

#include "cms/CmsServices.h"
#include "platform/Error.h"

namespace pagewell::cms {

class CmsServer {
  public:
    static constexpr std::size_t kMaxUploadBytes = 32u << 20;
    static constexpr std::size_t kMaxJsonBytes = 1u << 20;
    static constexpr const char* kErrorDomain = "CmsServer";
    static constexpr std::size_t kKeepAliveRequests = 10000;
    static constexpr int kKeepAliveSeconds = 5;
    static constexpr std::size_t kWorkerThreads = 64;

    // Loads and validates the catalogue; nothing is bound yet.
    static Result<std::unique_ptr<CmsServer>> create(CmsServerOptions options);
    ~CmsServer();
    CmsServer(const CmsServer&) = delete;
    CmsServer& operator=(const CmsServer&) = delete;

    // Binds and starts answering; returns the bound port (the chosen one when the port was 0).
    Result<int> start();
    // Ends stalled requests, stops listening and joins the server thread. Idempotent.
    void stop();

    int port() const;
    // "http://ADDRESS:PORT", for clients and the "listening on" line.
    std::string baseUrl() const;
    CmsServices& services();

  private:
    struct Impl;
    explicit CmsServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell::cms
