#pragma once
// What came back from one HTTP transfer, and the outcome handed to a request's completion.

#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/HttpRequest.h"

namespace pagewell {

struct HttpResponse {
    long status = 0;  // 0 when no answer arrived
    HttpHeaderFields headers;
    std::string contentType;  // the Content-Type field as received (parameters included)
    std::string body;         // raw bytes; empty for a download written to its file
    std::string url;          // the address that finally answered (after redirects)
    // The decoded answer of a request with decodeJson; null for an empty body.
    std::shared_ptr<const nlohmann::json> json;
    // The file a successful download was written to.
    std::string downloadedPath;

    // The value of the first header field named `name` (ignoring case); none when absent.
    std::optional<std::string> header(std::string_view name) const;
    // The content type without parameters, lower-cased ("application/json").
    std::string mimeType() const;
    // What a failure answer says for the user: the "message" (else "error") text of a small
    // JSON object, or a short plain-text body; web pages and long bodies say nothing. One line
    // of at most kServerMessageLimit bytes of valid UTF-8 without control characters; empty
    // when there is nothing to show.
    std::string serverMessage() const;
    static constexpr std::size_t kServerMessageLimit = 300;
    bool hasJsonObject() const { return json != nullptr; }
};

// The outcome of one request: an error or none, and whatever answer arrived. A failure caused by
// the answer (status outside the accepted set, wrong content type, undecodable JSON) keeps the
// response's status and body, so callers can tell a 404 from a 500 or read a refusal's text.
struct HttpResult {
    std::optional<Error> error;
    HttpResponse response;
    std::string requestUrl;  // the absolute address the request was sent to

    bool ok() const { return !error.has_value(); }
    explicit operator bool() const { return ok(); }
};

// Error domains and codes of the HTTP session.
//
//   "HTTP"     code = status   "Request failed: not found (404)"   status outside the accepted set
//   "HTTP"     -1016           "Request failed: unacceptable content-type: text/html"
//   "HTTP"     -1017           "The data couldn't be read because it isn't in the correct format."
//   "Network"  see below       a readable description of what failed
//   "VX"       -1102           "The server's answer is nested too deeply."
//   "VX"       -1103           "The server's answer is too large (more than 32 MiB)."
struct HttpErrors {
    static constexpr const char* kHttpDomain = "HTTP";
    static constexpr const char* kNetworkDomain = "Network";
    // Answers that arrived whole but lie beyond the request's bounds (HttpRequest).
    static constexpr const char* kAnswerDomain = "VX";
    static constexpr int kAnswerTooDeep = -1102;
    static constexpr int kAnswerTooLarge = -1103;
    static constexpr const char* kAnswerTooDeepDescription =
        "The server's answer is nested too deeply.";

    static constexpr int kUnacceptableContentType = -1016;
    static constexpr int kCannotParseResponse = -1017;

    // Network codes, after the platform's URL loading codes so they read familiar in logs.
    static constexpr int kUnknown = -1;
    static constexpr int kCancelled = -999;
    static constexpr int kBadURL = -1000;
    static constexpr int kTimedOut = -1001;
    static constexpr int kUnsupportedURL = -1002;
    static constexpr int kCannotFindHost = -1003;
    static constexpr int kCannotConnectToHost = -1004;
    static constexpr int kNetworkConnectionLost = -1005;
    static constexpr int kTooManyRedirects = -1007;
    static constexpr int kBadServerResponse = -1011;
    static constexpr int kSecureConnectionFailed = -1200;
    static constexpr int kServerCertificateUntrusted = -1202;
    static constexpr int kCannotCreateFile = -3000;
    static constexpr int kCannotWriteToFile = -3003;
    static constexpr int kCannotReadFile = -3004;  // a multipart file that cannot be read

    // "The server's answer is too large (more than N MiB)." for a bound of N MiB.
    static Error answerTooLarge(std::size_t maxBodyBytes);
    static Error answerTooDeep();

    static bool isCancelled(const Error& error) {
        return error.domain == kNetworkDomain && error.code == kCancelled;
    }
    static bool isTimeout(const Error& error) {
        return error.domain == kNetworkDomain && error.code == kTimedOut;
    }
    // The TLS handshake failed or the server's certificate was not trusted.
    static bool isCertificateFailure(const Error& error) {
        return error.domain == kNetworkDomain &&
               (error.code == kServerCertificateUntrusted || error.code == kSecureConnectionFailed);
    }
};

}  // namespace pagewell
