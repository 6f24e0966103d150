#pragma once
// The HTTP session: sends HttpRequests to one configured server over libcurl and reports each
// outcome on the main queue.
//
//   send(request) ──▶ worker thread: resolve against the base address, drop credentials that
//                     are not for the session's own server, transfer (redirects followed here,
//                     at most maxRedirects, never carrying credentials along)
//                  ──▶ judge the answer: status accepted? content type accepted? JSON decodable?
//                  ──▶ main queue: completion(HttpResult), exactly once
//
// Transfers run on one worker thread that drives every transfer of the session at once
// (libcurl's multi interface); connections to a host are kept open and reused. Each transfer has
// a connect timeout and a low-speed limit: when fewer than lowSpeedLimit bytes per second move
// for lowSpeedTime, the transfer ends with a "Network" timed-out error, so a stalled or trickling
// server never hangs the app. TLS certificates and host names are verified against the system's
// authorities and, when configured, a bundle of further ones (a company's own authority); plain
// http is allowed, with one warning per host that is not a loopback address.
//
// A failure answer's own message (a maintenance notice) travels in the error's serverMessage.
//
// Credentials: Basic credentials, the header fields Authorization, Proxy-Authorization,
// X-App-Secret and X-Uid, and the "token" query parameter are sent only when the request's
// scheme, host and port equal the base address's. A redirect never carries Basic credentials or
// those header fields, and a redirect to another origin loses its "token" parameter too.
//
// Callbacks: the completion of a request is called exactly once on the main queue, also after
// cancel() (with the "Network" cancelled error) unless the transfer had already ended, in which
// case its real outcome is reported. Once the session is destroyed no callback of it runs any
// more, so completions never outlive their owner.
//
// Threading rule: send(), cancelAll() and the accessors may be called from any thread; the
// session must be destroyed on the main thread (the destructor cancels every transfer, joins the
// worker and drops completions that were posted but have not run). HttpTask::cancel() may be
// called from any thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"

namespace pagewell {

class MainQueue;

struct HttpSessionOptions {
    // The limits every transfer of the app runs under unless a caller (a test) asks otherwise.
    static constexpr long kDefaultLowSpeedLimit = 1024;  // bytes per second
    static constexpr std::chrono::seconds kDefaultLowSpeedTime{30};

    std::chrono::milliseconds connectTimeout{std::chrono::seconds{15}};
    // A transfer during which no byte moves for lowSpeedTime (counted from its start, so waiting
    // for the answer counts too), or which stays slower than lowSpeedLimit bytes per second over
    // libcurl's averaging window of lowSpeedTime rounded up to whole seconds, ends with a
    // timeout. The silence is checked about once a second. A server that trickles a few bytes a
    // second is as useless as a silent one, hence a limit well above a byte.
    long lowSpeedLimit = kDefaultLowSpeedLimit;
    std::chrono::milliseconds lowSpeedTime{kDefaultLowSpeedTime};
    int maxRedirects = 5;
    // At most this many connections to one host at a time; further transfers wait for one.
    int maxConnectionsPerHost = 6;
    // A PEM file of certificate authorities to trust in addition to the system's (a company's
    // own authority). Read once when the session is created; when it cannot be read or holds no
    // certificate, every https transfer fails with that reason rather than quietly trusting
    // less than the user asked for.
    std::string caBundlePath;
    std::string userAgent = "Pagewell";

    bool operator==(const HttpSessionOptions&) const = default;
};

// A running request. Shared between the caller and the session's worker.
class HttpTask {
  public:
    // A number unique within the process, for the traffic log.
    std::uint64_t identifier() const { return identifier_; }
    // The absolute address the request is sent to.
    const std::string& url() const { return url_; }
    HttpMethod method() const { return method_; }

    // Aborts the transfer promptly; the completion then reports the "Network" cancelled error
    // (unless the transfer had already ended). A download's partial file is removed.
    void cancel();
    bool isCancelled() const;
    // Whether the completion has run (or was dropped because the session went away).
    bool isCompleted() const;

    struct State;
    HttpTask(std::uint64_t identifier, std::string url, HttpMethod method,
             std::shared_ptr<State> state);

  private:
    friend class HttpSession;
    std::uint64_t identifier_;
    std::string url_;
    HttpMethod method_;
    std::shared_ptr<State> state_;
};

class HttpSession {
  public:
    using Completion = std::function<void(HttpResult result)>;

    // `baseURL` is normalised to end in "/" ("https://h/api2" becomes "https://h/api2/").
    // Completions are posted to `mainQueue`, by default MainQueue::shared().
    explicit HttpSession(std::string baseURL, HttpSessionOptions options = {},
                         std::shared_ptr<MainQueue> mainQueue = nullptr);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    const std::string& baseURL() const;
    const HttpSessionOptions& options() const;

    // Resolves `relativePath` against the base address as a browser resolves a link
    // ("category/list/5?token=x" under "http://h:1/api2/" gives
    // "http://h:1/api2/category/list/5?token=x"); an absolute address comes back unchanged.
    std::string resolve(std::string_view relativePath) const;

    // Starts the request. The completion runs once on the main queue.
    std::shared_ptr<HttpTask> send(HttpRequest request, Completion completion);

    // Cancels every running request; each completion reports the cancelled error.
    void cancelAll();

    // Whether `url` has the base address's scheme, host and port (default ports filled in).
    bool isSameOrigin(std::string_view url) const;

    // The header fields the session will send for `request`: the request's own fields minus the
    // credential fields when the address is not the session's server, plus Authorization for
    // Basic credentials and Content-Type for a body. For the traffic log.
    HttpHeaderFields headersToSend(const HttpRequest& request) const;

    // Percent-escapes the UTF-8 bytes of every character outside A-Z a-z 0-9 "-" "." "_" "~", so
    // no text can change the path it is put into or add query parameters ("a/b" → "a%2Fb").
    static std::string escapePathComponent(std::string_view text);
    // Escapes a query value: everything escapePathComponent escapes except the characters in
    // `allowed` (for example "/:" to keep a timestamp readable); "&", "=", "+", "#" and "%" are
    // always escaped.
    static std::string escapeQueryValue(std::string_view text, std::string_view allowed = {});
    // Removes every "token" query parameter from `url`.
    static std::string removeTokenParameter(std::string_view url);

    // The parts of an absolute http or https address that decide where it goes.
    struct Origin {
        std::string scheme;  // lower case
        std::string host;    // lower case, without brackets for IPv6
        int port = 0;        // the scheme's default when absent
        bool operator==(const Origin&) const = default;
    };
    static std::optional<Origin> originOf(std::string_view url);
    // Whether `host` is a loopback name or address ("localhost", 127.x.x.x, "::1").
    static bool isLoopbackHost(std::string_view host);

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace pagewell
