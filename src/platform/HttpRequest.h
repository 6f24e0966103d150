#pragma once
// One HTTP request as a plain value: what to send and how to judge the answer. Every setting the
// request layer used to put on a shared session (serializers, headers, accepted content types and
// statuses, credentials) belongs to the request itself, so two operations in flight can never see
// each other's settings.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pagewell {

// Header fields in the order they are sent or were received; names keep their spelling. The same
// type as the traffic log's HttpHeaders, so records can be handed over without conversion.
using HttpHeaderFields = std::vector<std::pair<std::string, std::string>>;

enum class HttpMethod { Head, Get, Post, Put, Delete };

// "HEAD", "GET", "POST", "PUT" or "DELETE".
const char* httpMethodName(HttpMethod method);

// One part of a multipart/form-data body. A part with a file name is a file upload; its bytes
// come from `filePath` when that is set, else from `data`. A part without a file name is a plain
// form field whose value is `data`.
struct HttpMultipartPart {
    std::string name;
    std::string data;
    std::string fileName;
    std::string filePath;
    std::string contentType;  // empty: none given for fields, "application/octet-stream" for files

    static HttpMultipartPart field(std::string name, std::string value);
    static HttpMultipartPart fileData(std::string name, std::string fileName,
                                      std::string contentType, std::string bytes);
    static HttpMultipartPart file(std::string name, std::string fileName, std::string contentType,
                                  std::string path);
};

struct HttpBasicCredentials {
    std::string user;
    std::string password;
};

// Called on the main queue while a download runs: bytes written so far and the expected total
// (-1 while the server has not said). Calls are coalesced, so not every chunk is reported, but
// the last call before a successful completion reports the whole body.
using HttpProgressHandler = std::function<void(std::int64_t received, std::int64_t expected)>;

struct HttpRequest {
    HttpMethod method = HttpMethod::Get;
    // Relative to the session's base address ("category/list/5?token=x"), or absolute.
    std::string url;
    // Extra header fields. Authorization, X-App-Secret and X-Uid are sent only to the session's
    // own server (see HttpSession).
    HttpHeaderFields headers;

    // The body, sent as it stands with `bodyContentType`; ignored when multipart parts are given.
    std::string body;
    std::string bodyContentType;
    // A multipart/form-data body; takes the place of `body` when not empty.
    std::vector<HttpMultipartPart> multipart;

    // Sent as "Authorization: Basic ..." to the session's own server only.
    std::optional<HttpBasicCredentials> basicCredentials;

    // Content types (without parameters, compared ignoring case) a successful answer may have;
    // empty accepts any. An answer with neither a content type nor a body passes.
    std::vector<std::string> acceptedContentTypes;
    // Statuses accepted besides 200 to 299 (401 and 403 for the login request).
    std::vector<long> additionalAcceptedStatuses;
    // Decode an accepted answer as JSON: an empty body gives no object (not an error); a body
    // that is not JSON is an error.
    bool decodeJson = false;

    // Bounds of an answer kept in memory. A body longer than maxBodyBytes ends the transfer as
    // soon as that is known, whatever the status ("VX" too large); a decoded answer nesting
    // deeper than maxJsonDepth levels is refused ("VX" too deep). A body written to
    // `downloadPath` is not bounded by maxBodyBytes.
    std::size_t maxBodyBytes = kDefaultMaxBodyBytes;
    int maxJsonDepth = kDefaultMaxJsonDepth;
    // Keys of a decoded object answer whose lists keep their entries packed (JsonDecoder).
    std::vector<std::string> packedJsonLists;
    static constexpr std::size_t kDefaultMaxBodyBytes = std::size_t{32} << 20;
    static constexpr int kDefaultMaxJsonDepth = 512;

    // When set, an accepted answer's body is written to this file (through a temporary file
    // beside it, renamed when complete) instead of being kept in memory. Answers with a status
    // that is not accepted stay in memory, so a failure still carries its body. A conditional
    // download (If-None-Match, If-Modified-Since in `headers`) that accepts 304 gets no file
    // for a 304 answer: the caller's copy is current.
    std::string downloadPath;
    HttpProgressHandler downloadProgress;

    // A request whose answer is JSON: accepts "application/json" only and decodes it.
    static HttpRequest json(HttpMethod method, std::string url);
    // Sets `body` to serialized JSON text with the content type "application/json".
    void setJsonBody(std::string serializedJson);
    // Adds a header field (kept in order; an earlier field of the same name is replaced).
    void setHeader(const std::string& name, std::string value);
    bool acceptsStatus(long status) const;
};

}  // namespace pagewell
