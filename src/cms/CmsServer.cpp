#include "cms/CmsServer.h"

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "cms/AuthEndpoints.h"
#include "cms/CatalogueEndpoints.h"
#include "cms/ConfigEndpoints.h"
#include "cms/DownloadEndpoints.h"
#include "cms/FavoriteEndpoints.h"
#include "cms/LeadEndpoints.h"
#include "cms/ProximityEndpoints.h"
#include "cms/ResponseBody.h"
#include "cms/SharingEndpoints.h"
#include "cms/TestHookEndpoints.h"
#include "platform/Logger.h"

namespace pagewell::cms {

struct CmsServer::Impl {
    Impl(CmsServerOptions opts, Catalogue loaded, std::unique_ptr<CmsStateStore> store)
        : options(std::move(opts)),
          catalogue(std::move(loaded)),
          state(std::move(store)),
          tokens(options.tokenLifetime),
          services{this->catalogue, *state, tokens, faults, requestLog, options} {}

    CmsServerOptions options;
    CatalogueState catalogue;
    std::unique_ptr<CmsStateStore> state;
    TokenStore tokens;
    FaultInjector faults;
    RequestLog requestLog;
    CmsServices services;
    RouteTable routes;
    httplib::Server http;
    std::thread thread;
    int port = 0;
    bool started = false;

    void handle(const httplib::Request& req, httplib::Response& res);
    static CmsRequest convert(const httplib::Request& req);
    // `halfway`: the fault that cuts the body in the middle (Drop, Hang), if any.
    // `bytesPerSecond`: the pace of a trickled answer; 0 sends at full speed.
    void apply(const CmsResponse& response, const httplib::Request& req, httplib::Response& res,
               std::optional<Fault::Kind> halfway = std::nullopt, int bytesPerSecond = 0);
};

namespace {

bool isTestHookPath(const std::string& path) {
    return path.rfind("/__test/", 0) == 0;
}

}  // namespace

CmsRequest CmsServer::Impl::convert(const httplib::Request& req) {
    CmsRequest request;
    request.method = req.method;
    request.path = req.path;
    request.query.insert(req.params.begin(), req.params.end());
    request.headers.insert(req.headers.begin(), req.headers.end());
    request.body = req.body;
    request.remoteAddress = req.remote_addr;
    for (const auto& [name, part] : req.files) {
        request.files.push_back({part.name, part.filename, part.content_type, part.content});
    }
    return request;
}

void CmsServer::Impl::apply(const CmsResponse& response, const httplib::Request& req,
                            httplib::Response& res, std::optional<Fault::Kind> halfway,
                            int bytesPerSecond) {
    const bool dropHalfway = halfway.has_value();
    for (const auto& [name, value] : response.headers) {
        res.set_header(name, value);
    }
    // Ranges are answered here, and the library is left none of its own: it misstates ranges
    // that run past the end of the body. The request object is the library's own mutable one,
    // handed to handlers as const.
    const httplib::Ranges asked = std::exchange(const_cast<httplib::Request&>(req).ranges, {});
    const bool ranged = response.rangeable && response.status == 200 && asked.size() == 1;
    if (response.file.empty() && !ranged && !dropHalfway && bytesPerSecond <= 0) {
        res.status = response.status;
        res.set_content(response.body, response.contentType);
        return;
    }

    std::shared_ptr<ResponseBody> body;
    if (response.file.empty()) {
        body = std::make_shared<ResponseBody>(response.body);
    } else if (auto opened = ResponseBody::open(response.file); opened.ok()) {
        body = std::move(opened).value();
    } else {
        PW_LOG_ERROR_VALUE(opened.error());
        apply(CmsResponse::error(500, "cannot read the file"), req, res);
        return;
    }
    res.status = response.status;
    ResponseBody::Range range{0, body->size() - 1};
    if (ranged) {
        // A body with several ranges is answered whole, which the protocol allows.
        const auto [first, last] = asked.front();
        auto resolved = ResponseBody::resolve(
            first < 0 ? std::nullopt : std::optional<std::uint64_t>(first),
            last < 0 ? std::nullopt : std::optional<std::uint64_t>(last), body->size());
        if (!resolved) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(body->size()));
            return;
        }
        range = *resolved;
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                            std::to_string(range.last) + "/" +
                                            std::to_string(body->size()));
    }
    const std::uint64_t length = body->size() == 0 ? 0 : range.length();
    // Dropping promises the whole body, sends half of it and then gives up (Drop) or waits until
    // the test releases the request (Hang): the client sees the transfer stop in the middle.
    const std::uint64_t sent = dropHalfway ? length / 2 : length;
    const bool hang = halfway == Fault::Kind::Hang;
    res.set_content_provider(
        static_cast<std::size_t>(length), response.contentType,
        [this, body, start = range.first, sent, hang, bytesPerSecond](
            std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
            if (offset >= sent) {
                if (hang) {
                    faults.hold();
                }
                return false;
            }
            std::uint64_t piece = std::min<std::uint64_t>(wanted, sent - offset);
            if (bytesPerSecond > 0) {
                // A tenth of a second's worth at a time, so the pace is even.
                piece = std::min<std::uint64_t>(piece, std::max(1, bytesPerSecond / 10));
                faults.stall(
                    std::chrono::milliseconds(1000 * static_cast<long>(piece) / bytesPerSecond));
                if (!sink.is_writable()) {
                    return false;
                }
            }
            auto bytes = body->read(start + offset, piece);
            if (!bytes.ok()) {
                PW_LOG_ERROR_VALUE(bytes.error());
                return false;
            }
            return !bytes.value().empty() && sink.write(bytes.value().data(), bytes.value().size());
        });
}

void CmsServer::Impl::handle(const httplib::Request& req, httplib::Response& res) {
    std::optional<Fault> fault;
    if (!isTestHookPath(req.path)) {
        fault = faults.take(req.path);
    }
    if (fault && fault->kind == Fault::Kind::Status) {
        apply(CmsResponse::error(fault->status, "injected failure"), req, res);
        return;
    }
    if (fault && fault->kind == Fault::Kind::Empty) {
        apply(CmsResponse::empty(), req, res);
        return;
    }
    if (fault && fault->kind == Fault::Kind::Answer) {
        // Whatever stands between the client and the server answering in its place, e.g. a
        // login portal that answers every address with its own page.
        CmsResponse answer;
        answer.status = fault->status;
        answer.contentType = fault->contentType;
        answer.body = fault->body;
        apply(answer, req, res);
        return;
    }
    if (fault && fault->kind == Fault::Kind::Stall) {
        faults.stall(fault->stall);
    }
    if (fault && fault->kind == Fault::Kind::Hold) {
        faults.hold();
    }
    const bool upload = req.is_multipart_form_data();
    if (!upload && req.body.size() > kMaxJsonBytes) {
        apply(CmsResponse::error(413, "body too large"), req, res);
        return;
    }
    CmsRequest request = convert(req);
    CmsResponse response = routes.dispatch(request);
    std::optional<Fault::Kind> halfway;
    if (fault && (fault->kind == Fault::Kind::Drop || fault->kind == Fault::Kind::Hang)) {
        halfway = fault->kind;
    }
    if (fault && fault->altersAnswer()) {
        response.body = FaultInjector::alter(*fault, std::move(response.body));
    }
    apply(response, req, res, halfway,
          fault && fault->kind == Fault::Kind::Trickle ? fault->bytesPerSecond : 0);
}

CmsServer::CmsServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

CmsServer::~CmsServer() {
    stop();
}

Result<std::unique_ptr<CmsServer>> CmsServer::create(CmsServerOptions options) {
    auto catalogue = Catalogue::load(options.catalogue);
    if (!catalogue.ok()) {
        return catalogue.error();
    }
    auto state = CmsStateStore::open(options.stateFile, catalogue.value());
    if (!state.ok()) {
        return state.error();
    }
    auto impl = std::make_unique<Impl>(std::move(options), std::move(catalogue).value(),
                                       std::move(state).value());
    return std::unique_ptr<CmsServer>(new CmsServer(std::move(impl)));
}

Result<int> CmsServer::start() {
    Impl& d = *impl_;
    if (d.started) {
        return d.port;
    }
    AuthEndpoints::addTo(d.routes, d.services);
    CatalogueEndpoints::addTo(d.routes, d.services);
    DownloadEndpoints::addTo(d.routes, d.services);
    ConfigEndpoints::addTo(d.routes, d.services);
    SharingEndpoints::addTo(d.routes, d.services);
    FavoriteEndpoints::addTo(d.routes, d.services);
    ProximityEndpoints::addTo(d.routes, d.services);
    LeadEndpoints::addTo(d.routes, d.services);
    if (d.options.testHooks) {
        TestHookEndpoints::addTo(d.routes, d.services);
    }

    auto handler = [&d](const httplib::Request& req, httplib::Response& res) {
        d.handle(req, res);
    };
    d.http.Get(".*", handler);  // also answers HEAD
    d.http.Post(".*", handler);
    d.http.Put(".*", handler);
    d.http.Delete(".*", handler);
    d.http.Patch(".*", handler);
    d.http.Options(".*", handler);
    d.http.set_payload_max_length(kMaxUploadBytes);
    // A client keeps one connection for all its requests, as long as it sends the next one
    // within the time-out. An idle connection holds a worker thread until then, so there are
    // enough of them for several clients that each keep a few connections.
    d.http.set_keep_alive_max_count(kKeepAliveRequests);
    d.http.set_keep_alive_timeout(kKeepAliveSeconds);
    d.http.new_task_queue = [] {
        // The library takes ownership of the queue it is handed.
        return std::make_unique<httplib::ThreadPool>(kWorkerThreads).release();
    };
    // Headers and body go out in separate writes; without this a small body waits for the
    // client to acknowledge the headers.
    d.http.set_tcp_nodelay(true);
    d.http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content(R"({"success":false,"error":"internal error"})", "application/json");
        });
    d.http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        // Statuses the library produces itself (413, 400 on unreadable requests, 416).
        if (res.body.empty()) {
            res.set_content(nlohmann::json{{"success", false},
                                           {"error", "request refused with status " +
                                                         std::to_string(res.status)}}
                                .dump(),
                            "application/json");
        }
    });
    d.http.set_logger([&d](const httplib::Request& req, const httplib::Response& res) {
        RequestLogEntry entry;
        entry.method = req.method;
        entry.target = RequestLog::redactTarget(req.target.empty() ? req.path : req.target);
        entry.status = res.status;
        entry.remotePort = req.remote_port;
        for (const char* name : {"Authorization", "X-App-Secret", "X-Uid", "Range", "Content-Type",
                                 "If-None-Match", "If-Modified-Since"}) {
            if (req.has_header(name)) {
                entry.headers.push_back(std::string(name) + ": " +
                                        RequestLog::redactHeader(name, req.get_header_value(name)));
            }
        }
        if (!req.is_multipart_form_data()) {
            entry.body = RequestLog::redactBody(req.body);
        }
        if (!isTestHookPath(req.path)) {
            d.requestLog.add(std::move(entry));
        }
    });

    if (d.options.port == 0) {
        d.port = d.http.bind_to_any_port(d.options.bind);
    } else if (d.http.bind_to_port(d.options.bind, d.options.port)) {
        d.port = d.options.port;
    } else {
        d.port = -1;
    }
    if (d.port <= 0) {
        return Error::make(
            kErrorDomain, 1,
            "cannot listen on " + d.options.bind + ":" + std::to_string(d.options.port));
    }
    d.started = true;
    d.thread = std::thread([&d] { d.http.listen_after_bind(); });
    // The library ignores a stop() that comes before its accept loop runs, so start() returns
    // only once the loop is running; connections made meanwhile wait in the listen backlog.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!d.http.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    PW_LOG_INFO("pagewell-cms serving {} on {}", d.options.catalogue.string(), baseUrl());
    return d.port;
}

void CmsServer::stop() {
    Impl& d = *impl_;
    if (!d.started) {
        return;
    }
    d.faults.stop();
    d.http.stop();
    if (d.thread.joinable()) {
        d.thread.join();
    }
    d.started = false;
}

int CmsServer::port() const {
    return impl_->port;
}

std::string CmsServer::baseUrl() const {
    const std::string& host = impl_->options.bind;
    const bool ipv6 = host.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port);
}

CmsServices& CmsServer::services() {
    return impl_->services;
}

}  // namespace pagewell::cms
