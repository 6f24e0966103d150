#include "platform/HttpSession.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <vector>

#include "platform/JsonDecoder.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"

namespace pagewell {

namespace {

// The receive buffer of a transfer into a file, and the write buffer of that file.
constexpr long kDownloadBufferBytes = 256 * 1024;

// Task identifiers are unique in the process, not per session, because the traffic log outlives
// a session that is replaced when the server address changes.
std::uint64_t nextTaskIdentifier() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1);
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string lowerCased(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Header fields that carry credentials for the session's own server only.
bool isCredentialHeader(std::string_view name) {
    return equalsIgnoringCase(name, "Authorization") ||
           equalsIgnoringCase(name, "Proxy-Authorization") ||
           equalsIgnoringCase(name, "X-App-Secret") || equalsIgnoringCase(name, "X-Uid");
}

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string percentEscape(std::string_view text, std::string_view allowed) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c) || (c < 0x80 && allowed.find(ch) != std::string_view::npos)) {
            escaped.push_back(ch);
        } else {
            escaped.push_back('%');
            escaped.push_back(kHex[c >> 4]);
            escaped.push_back(kHex[c & 0x0F]);
        }
    }
    return escaped;
}

std::string base64(std::string_view bytes) {
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                 reinterpret_cast<const unsigned char*>(bytes.data()),
                                 static_cast<int>(bytes.size()));
    encoded.resize(static_cast<std::size_t>(std::max(length, 0)));
    return encoded;
}

struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned int flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) {
        return std::nullopt;
    }
    std::string value(text);
    curl_free(text);
    return value;
}

bool isRedirectStatus(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

const char* reasonForStatus(long status) {
    static const std::map<long, const char*> kReasons = {
        {300, "multiple choices"},
        {301, "moved permanently"},
        {302, "found"},
        {303, "see other"},
        {304, "not modified"},
        {307, "temporary redirect"},
        {308, "permanent redirect"},
        {400, "bad request"},
        {401, "unauthorized"},
        {402, "payment required"},
        {403, "forbidden"},
        {404, "not found"},
        {405, "method not allowed"},
        {406, "unacceptable"},
        {408, "request timed out"},
        {409, "conflict"},
        {410, "no longer exists"},
        {411, "length required"},
        {412, "precondition failed"},
        {413, "request too large"},
        {414, "requested URL too long"},
        {415, "unsupported media type"},
        {416, "requested range not satisfiable"},
        {422, "unprocessable entity"},
        {423, "locked"},
        {426, "upgrade required"},
        {428, "precondition required"},
        {429, "too many requests"},
        {500, "internal server error"},
        {501, "unimplemented"},
        {502, "bad gateway"},
        {503, "service unavailable"},
        {504, "gateway timed out"},
        {505, "HTTP version not supported"},
    };
    auto found = kReasons.find(status);
    if (found != kReasons.end()) {
        return found->second;
    }
    if (status >= 500) {
        return "server error";
    }
    if (status >= 400) {
        return "client error";
    }
    if (status >= 300) {
        return "redirected";
    }
    if (status >= 200) {
        return "success";
    }
    return "informational";
}

Error networkError(int code, std::string description) {
    return Error::make(HttpErrors::kNetworkDomain, code, std::move(description));
}

Error cancelledError() {
    return networkError(HttpErrors::kCancelled, "cancelled");
}

// The Error for a transfer to `host` that libcurl ended with `code`; `detail` is its error
// buffer.
Error errorForCurlCode(CURLcode code, const char* detail, const std::string& host) {
    int errorCode = HttpErrors::kUnknown;
    std::string text;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            errorCode = HttpErrors::kTimedOut;
            text = "The request timed out.";
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            errorCode = HttpErrors::kCannotFindHost;
            text = "A server with the specified hostname could not be found.";
            break;
        case CURLE_COULDNT_CONNECT:
            errorCode = HttpErrors::kCannotConnectToHost;
            text = "Could not connect to the server.";
            break;
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            errorCode = HttpErrors::kNetworkConnectionLost;
            text = "The network connection was lost.";
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH: {
            // Which server and why: a self-signed certificate, an unknown authority or a name
            // that does not match are told apart only by libcurl's reason.
            std::string reason = host;
            if (detail != nullptr && detail[0] != '\0') {
                reason += reason.empty() ? detail : std::string(": ") + detail;
            }
            return networkError(HttpErrors::kServerCertificateUntrusted,
                                "The server's certificate is not trusted (" + reason + ")");
        }
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
            errorCode = HttpErrors::kSecureConnectionFailed;
            text =
                "An SSL error has occurred and a secure connection to the server cannot be made.";
            break;
        case CURLE_URL_MALFORMAT:
            errorCode = HttpErrors::kBadURL;
            text = "bad URL";
            break;
        case CURLE_UNSUPPORTED_PROTOCOL:
            errorCode = HttpErrors::kUnsupportedURL;
            text = "unsupported URL";
            break;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
            errorCode = HttpErrors::kBadServerResponse;
            text = "The server returned a bad response.";
            break;
        case CURLE_READ_ERROR:
            errorCode = HttpErrors::kCannotReadFile;
            text = "A file to upload could not be read.";
            break;
        case CURLE_WRITE_ERROR:
            errorCode = HttpErrors::kCannotWriteToFile;
            text = "The downloaded file could not be written.";
            break;
        case CURLE_ABORTED_BY_CALLBACK:
            return cancelledError();
        default:
            text = curl_easy_strerror(code);
            break;
    }
    if (detail != nullptr && detail[0] != '\0') {
        text += " (";
        text += detail;
        text += ")";
    }
    return networkError(errorCode, std::move(text));
}

struct X509Deleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Pointer = std::unique_ptr<X509, X509Deleter>;

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};

// Removes a file and ignores whether it was there.
void removeQuietly(const std::string& path) {
    if (!path.empty()) {
        ::unlink(path.c_str());
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Task state

// Shared between the caller's HttpTask and the session's worker. `wake` nudges the worker so a
// cancel is noticed at once; it holds the session weakly.
struct HttpTask::State {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> completed{false};
    std::function<void()> wake;  // set before the task is handed out, never changed
};

HttpTask::HttpTask(std::uint64_t identifier, std::string url, HttpMethod method,
                   std::shared_ptr<State> state)
    : identifier_(identifier), url_(std::move(url)), method_(method), state_(std::move(state)) {}

void HttpTask::cancel() {
    if (state_->cancelled.exchange(true) || state_->completed.load()) {
        return;
    }
    if (state_->wake) {
        state_->wake();
    }
}

bool HttpTask::isCancelled() const {
    return state_->cancelled.load();
}
bool HttpTask::isCompleted() const {
    return state_->completed.load();
}

// ---------------------------------------------------------------------------------------------
// Session internals

namespace {

// Download progress as the worker sees it and the main queue reports it. The worker stores the
// latest numbers and posts a report only when no report is waiting, so a fast download posts a
// handful of reports instead of one per chunk.
struct ProgressState {
    std::atomic<std::int64_t> received{0};
    std::atomic<std::int64_t> expected{-1};
    std::atomic<bool> reportPending{false};
    std::int64_t lastReported = -1;  // main thread only
};

}  // namespace

struct HttpSession::Impl {
    // One transfer, owned by the worker thread from the moment it is picked up.
    struct Transfer {
        std::shared_ptr<HttpTask> task;
        HttpRequest request;  // as it is sent now (changed by redirects)
        Completion completion;
        std::string requestUrl;  // the first absolute address
        std::string url;         // the current absolute address
        int redirects = 0;

        CURL* easy = nullptr;
        curl_slist* headerList = nullptr;
        curl_mime* mime = nullptr;
        std::array<char, CURL_ERROR_SIZE> errorBuffer{};

        HttpResponse response;
        bool bodyDecided = false;  // whether the first body byte chose file or memory
        bool writingToFile = false;
        std::FILE* file = nullptr;
        std::string temporaryPath;
        std::optional<Error> localError;  // a failure of ours that aborted the transfer
        // The stall watchdog: when bytes last moved, and the byte counts seen then. Real time,
        // not Clock::shared(): it bounds how long the app really waits for a server.
        std::chrono::steady_clock::time_point lastActivity;
        curl_off_t lastDownloaded = 0;
        curl_off_t lastUploaded = 0;
        std::shared_ptr<ProgressState> progress = std::make_shared<ProgressState>();

        Impl* session = nullptr;
    };

    std::string baseURL;
    std::optional<Origin> baseOrigin;
    HttpSessionOptions options;
    // The further authorities of options.caBundlePath, or why they could not be read.
    std::vector<X509Pointer> extraAuthorities;
    std::optional<Error> extraAuthoritiesError;
    std::shared_ptr<MainQueue> mainQueue;
    // Set to false by the destructor on the main thread; posted handlers check it first.
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);

    CURLM* multi = nullptr;  // written under mutex; driven by the worker thread only
    std::thread worker;

    std::mutex mutex;
    bool stopping = false;                              // guarded by mutex
    std::vector<std::unique_ptr<Transfer>> incoming;    // guarded by mutex
    std::vector<std::weak_ptr<HttpTask>> liveTasks;     // guarded by mutex
    std::set<std::string> warnedPlainHosts;             // guarded by mutex
    std::map<CURL*, std::unique_ptr<Transfer>> active;  // worker thread only

    void run();
    // Nudges the worker out of its wait. Called from any thread, also while the session is
    // being destroyed, hence under mutex.
    void wake() {
        std::lock_guard lock(mutex);
        if (multi != nullptr) {
            curl_multi_wakeup(multi);
        }
    }

    bool sameOrigin(std::string_view url) const {
        auto origin = originOf(url);
        return origin && baseOrigin && *origin == *baseOrigin;
    }
    HttpHeaderFields headersFor(const HttpRequest& request, const std::string& url) const;
    void warnAboutPlainHttp(const std::string& url);

    std::optional<Error> startTransfer(Transfer& transfer);
    void releaseHandles(Transfer& transfer);
    void discardFile(Transfer& transfer);
    void finishTransfer(CURL* easy, CURLcode code);
    bool followRedirect(std::unique_ptr<Transfer>& transfer);
    HttpResult judge(Transfer& transfer, CURLcode code);
    void deliver(std::unique_ptr<Transfer> transfer, HttpResult result);
    void postProgress(Transfer& transfer);
    void loadExtraAuthorities();

    static CURLcode onSslContext(CURL* easy, void* sslContext, void* user);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);
    static bool keepsInMemory(Transfer& transfer, std::size_t length);
    static int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
};

HttpHeaderFields HttpSession::Impl::headersFor(const HttpRequest& request,
                                               const std::string& url) const {
    const bool ownServer = sameOrigin(url);
    HttpHeaderFields fields;
    for (const auto& field : request.headers) {
        if (ownServer || !isCredentialHeader(field.first)) {
            fields.push_back(field);
        }
    }
    if (ownServer && request.basicCredentials) {
        auto isAuthorization = [](const auto& field) {
            return equalsIgnoringCase(field.first, "Authorization");
        };
        fields.erase(std::remove_if(fields.begin(), fields.end(), isAuthorization), fields.end());
        fields.emplace_back("Authorization",
                            "Basic " + base64(request.basicCredentials->user + ":" +
                                              request.basicCredentials->password));
    }
    if (request.multipart.empty() && !request.bodyContentType.empty()) {
        fields.emplace_back("Content-Type", request.bodyContentType);
    }
    return fields;
}

void HttpSession::Impl::warnAboutPlainHttp(const std::string& url) {
    auto origin = originOf(url);
    if (!origin || origin->scheme != "http" || isLoopbackHost(origin->host)) {
        return;
    }
    {
        std::lock_guard lock(mutex);
        if (!warnedPlainHosts.insert(origin->host).second) {
            return;
        }
    }
    PW_LOG_WARNING("Sending requests to {} over plain http: the connection is not encrypted",
                   origin->host);
}

std::optional<Error> HttpSession::Impl::startTransfer(Transfer& transfer) {
    HttpRequest& request = transfer.request;
    transfer.session = this;
    transfer.response = HttpResponse{};
    transfer.bodyDecided = false;
    transfer.writingToFile = false;
    transfer.errorBuffer.fill('\0');
    transfer.lastActivity = std::chrono::steady_clock::now();
    transfer.lastDownloaded = 0;
    transfer.lastUploaded = 0;

    if (!sameOrigin(transfer.url)) {
        transfer.url = removeTokenParameter(transfer.url);
    }
    for (const auto& part : request.multipart) {
        if (!part.filePath.empty() && ::access(part.filePath.c_str(), R_OK) != 0) {
            return networkError(HttpErrors::kCannotReadFile,
                                "A file to upload could not be read: " + part.fileName);
        }
    }

    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        return networkError(HttpErrors::kUnknown, "The transfer could not be set up.");
    }
    transfer.easy = easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_URL, transfer.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caBundlePath.empty()) {
        // Added to the store libcurl fills with the system's authorities, so both are trusted.
        // Plain http transfers never get that far and are not held up by a broken bundle.
        auto origin = originOf(transfer.url);
        if (origin && origin->scheme == "https") {
            if (extraAuthoritiesError) {
                return extraAuthoritiesError;
            }
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
            if (curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &Impl::onSslContext) != CURLE_OK) {
                return networkError(HttpErrors::kSecureConnectionFailed,
                                    "This build cannot trust further certificate authorities.");
            }
        }
    }
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<std::int64_t>(1, options.connectTimeout.count())));
    const auto lowSpeedSeconds =
        std::max<std::int64_t>(1, (options.lowSpeedTime.count() + 999) / 1000);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, options.lowSpeedLimit));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(lowSpeedSeconds));
    // gzip and deflate only: servers that compress with brotli often do so at its slowest
    // setting, which made a large catalogue's answers ten times slower to arrive than plain ones.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer.data());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    if (!transfer.request.downloadPath.empty()) {
        // Files arrive in large pieces, as the curl tool takes them: a small receive buffer
        // costs a read, a write and a progress report per 16 KiB.
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kDownloadBufferBytes);
    }
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    for (const auto& [name, value] : headersFor(request, transfer.url)) {
        // "Name;" sends a field with an empty value; "Name:" would remove it.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        transfer.headerList = curl_slist_append(transfer.headerList, line.c_str());
    }
    // A body is sent at once instead of waiting for a "100 Continue" the server may never send.
    transfer.headerList = curl_slist_append(transfer.headerList, "Expect:");

    const bool hasMultipart = !request.multipart.empty();
    const bool sendsBody = hasMultipart || !request.body.empty() ||
                           request.method == HttpMethod::Post || request.method == HttpMethod::Put;
    if (sendsBody && !hasMultipart && request.bodyContentType.empty()) {
        // Without a declared type curl would claim a form body.
        transfer.headerList = curl_slist_append(transfer.headerList, "Content-Type:");
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headerList);

    switch (request.method) {
        case HttpMethod::Head:
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
            break;
        case HttpMethod::Get:
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
            break;
        case HttpMethod::Post:
        case HttpMethod::Put:
        case HttpMethod::Delete:
            if (request.method != HttpMethod::Post) {
                curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, httpMethodName(request.method));
            }
            break;
    }
    if (hasMultipart) {
        transfer.mime = curl_mime_init(easy);
        for (const auto& part : request.multipart) {
            curl_mimepart* mimePart = curl_mime_addpart(transfer.mime);
            curl_mime_name(mimePart, part.name.c_str());
            if (!part.filePath.empty()) {
                curl_mime_filedata(mimePart, part.filePath.c_str());
            } else {
                curl_mime_data(mimePart, part.data.data(), part.data.size());
            }
            if (!part.fileName.empty()) {
                curl_mime_filename(mimePart, part.fileName.c_str());
                curl_mime_type(mimePart, part.contentType.empty() ? "application/octet-stream"
                                                                  : part.contentType.c_str());
            } else if (!part.contentType.empty()) {
                curl_mime_type(mimePart, part.contentType.c_str());
            }
        }
        curl_easy_setopt(easy, CURLOPT_MIMEPOST, transfer.mime);
    } else if (sendsBody && request.method != HttpMethod::Head &&
               request.method != HttpMethod::Get) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    }

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        return networkError(HttpErrors::kUnknown, "The transfer could not be started.");
    }
    return std::nullopt;
}

void HttpSession::Impl::loadExtraAuthorities() {
    const std::string& path = options.caBundlePath;
    std::unique_ptr<BIO, BioDeleter> bio(BIO_new_file(path.c_str(), "r"));
    if (!bio) {
        extraAuthoritiesError = networkError(
            HttpErrors::kSecureConnectionFailed,
            "The certificate bundle " + path + " could not be read: " + std::strerror(errno));
        ERR_clear_error();
        return;
    }
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
        extraAuthorities.emplace_back(certificate);
    }
    // The loop ends on the first read that finds no further certificate; that is not an error.
    ERR_clear_error();
    if (extraAuthorities.empty()) {
        extraAuthoritiesError =
            networkError(HttpErrors::kSecureConnectionFailed,
                         "The certificate bundle " + path + " holds no PEM certificate.");
        return;
    }
    PW_LOG_INFO("Trusting {} further certificate authorities from {}", extraAuthorities.size(),
                path);
}

// Called by libcurl for each new TLS connection, after it loaded the system's authorities.
CURLcode HttpSession::Impl::onSslContext(CURL*, void* sslContext, void* user) {
    auto* impl = static_cast<Impl*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (store == nullptr) {
        return CURLE_SSL_CERTPROBLEM;
    }
    for (const auto& certificate : impl->extraAuthorities) {
        // An authority the store already holds is not an error.
        X509_STORE_add_cert(store, certificate.get());
    }
    ERR_clear_error();
    return CURLE_OK;
}

void HttpSession::Impl::releaseHandles(Transfer& transfer) {
    if (transfer.easy != nullptr) {
        curl_multi_remove_handle(multi, transfer.easy);
        curl_easy_cleanup(transfer.easy);
        transfer.easy = nullptr;
    }
    if (transfer.mime != nullptr) {
        curl_mime_free(transfer.mime);
        transfer.mime = nullptr;
    }
    if (transfer.headerList != nullptr) {
        curl_slist_free_all(transfer.headerList);
        transfer.headerList = nullptr;
    }
}

void HttpSession::Impl::discardFile(Transfer& transfer) {
    if (transfer.file != nullptr) {
        std::fclose(transfer.file);
        transfer.file = nullptr;
    }
    removeQuietly(transfer.temporaryPath);
    transfer.temporaryPath.clear();
}

std::size_t HttpSession::Impl::onHeader(char* data, std::size_t size, std::size_t count,
                                        void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    if (line.substr(0, 5) == "HTTP/") {
        // A new status line: interim answers (100 Continue) leave no fields behind.
        transfer.response.headers.clear();
        transfer.response.contentType.clear();
        return length;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return length;
    }
    std::string name(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    if (equalsIgnoringCase(name, "Content-Type")) {
        transfer.response.contentType = std::string(value);
    }
    transfer.response.headers.emplace_back(std::move(name), std::string(value));
    return length;
}

std::size_t HttpSession::Impl::onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (transfer.task->isCancelled()) {
        return CURL_WRITEFUNC_ERROR;
    }
    if (!transfer.bodyDecided) {
        transfer.bodyDecided = true;
        long status = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
        transfer.writingToFile =
            !transfer.request.downloadPath.empty() && transfer.request.acceptsStatus(status);
        if (transfer.writingToFile) {
            std::string pattern = transfer.request.downloadPath + ".XXXXXX";
            int descriptor = ::mkstemp(pattern.data());
            if (descriptor < 0) {
                transfer.localError = Error::make(
                    HttpErrors::kNetworkDomain, HttpErrors::kCannotCreateFile,
                    "The downloaded file could not be created: " + std::string(strerror(errno)));
                return CURL_WRITEFUNC_ERROR;
            }
            transfer.temporaryPath = pattern;
            transfer.file = ::fdopen(descriptor, "wb");
            if (transfer.file == nullptr) {
                ::close(descriptor);
                transfer.localError = networkError(HttpErrors::kCannotCreateFile,
                                                   "The downloaded file could not be created.");
                return CURL_WRITEFUNC_ERROR;
            }
            // One write per received piece rather than stdio's page-sized ones.
            std::setvbuf(transfer.file, nullptr, _IOFBF, kDownloadBufferBytes);
            curl_off_t expected = -1;
            curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
            transfer.progress->expected.store(expected);
        } else if (!keepsInMemory(transfer, 0)) {
            return CURL_WRITEFUNC_ERROR;
        }
    }
    if (!transfer.writingToFile) {
        if (!keepsInMemory(transfer, length)) {
            return CURL_WRITEFUNC_ERROR;
        }
        transfer.response.body.append(data, length);
        return length;
    }
    if (std::fwrite(data, 1, length, transfer.file) != length) {
        transfer.localError = networkError(
            HttpErrors::kCannotWriteToFile,
            "The downloaded file could not be written: " + std::string(strerror(errno)));
        return CURL_WRITEFUNC_ERROR;
    }
    transfer.progress->received.fetch_add(static_cast<std::int64_t>(length));
    transfer.session->postProgress(transfer);
    return length;
}

// Whether `length` more bytes of an answer kept in memory stay within the request's bound; a
// body that would pass it ends the transfer before it is held. The first call (length 0) also
// judges the announced length, and reserves it so the body is not copied while it grows. With a
// compressed answer the announced length is that of the compressed bytes, a lower bound.
bool HttpSession::Impl::keepsInMemory(Transfer& transfer, std::size_t length) {
    const std::size_t bound = transfer.request.maxBodyBytes;
    std::string& body = transfer.response.body;
    if (length == 0) {
        curl_off_t announced = -1;
        curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced > 0 && static_cast<std::uint64_t>(announced) > bound) {
            transfer.localError = HttpErrors::answerTooLarge(bound);
            return false;
        }
        if (announced > 0) {
            body.reserve(static_cast<std::size_t>(announced));
        }
        return true;
    }
    if (length > bound || body.size() > bound - length) {
        transfer.localError = HttpErrors::answerTooLarge(bound);
        body.clear();
        body.shrink_to_fit();
        return false;
    }
    return true;
}

// Aborts cancelled transfers, and stalled ones. libcurl's own low-speed check averages the rate
// over several seconds, so a burst followed by silence would keep a transfer alive for that much
// longer than the window; here silence is measured from the last byte that moved.
int HttpSession::Impl::onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                                  curl_off_t uploaded) {
    auto& transfer = *static_cast<Transfer*>(user);
    if (transfer.task->isCancelled()) {
        return 1;
    }
    const auto now = std::chrono::steady_clock::now();
    if (downloaded != transfer.lastDownloaded || uploaded != transfer.lastUploaded) {
        transfer.lastDownloaded = downloaded;
        transfer.lastUploaded = uploaded;
        transfer.lastActivity = now;
    } else if (now - transfer.lastActivity >= transfer.session->options.lowSpeedTime) {
        transfer.localError = networkError(HttpErrors::kTimedOut, "The request timed out.");
        return 1;
    }
    return 0;
}

void HttpSession::Impl::postProgress(Transfer& transfer) {
    if (!transfer.request.downloadProgress || transfer.progress->reportPending.exchange(true)) {
        return;
    }
    mainQueue->post([alive = alive, state = transfer.task->state_, progress = transfer.progress,
                     handler = transfer.request.downloadProgress] {
        progress->reportPending.store(false);
        if (!alive->load() || state->completed.load()) {
            return;
        }
        const std::int64_t received = progress->received.load();
        progress->lastReported = received;
        handler(received, progress->expected.load());
    });
}

bool HttpSession::Impl::followRedirect(std::unique_ptr<Transfer>& transfer) {
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    if (!isRedirectStatus(status) || transfer->request.acceptsStatus(status)) {
        return false;
    }
    char* location = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_REDIRECT_URL, &location);
    if (location == nullptr || location[0] == '\0') {
        return false;
    }
    std::string target(location);
    releaseHandles(*transfer);
    discardFile(*transfer);

    if (transfer->redirects >= options.maxRedirects) {
        transfer->localError =
            networkError(HttpErrors::kTooManyRedirects, "too many HTTP redirects");
        return false;
    }
    ++transfer->redirects;

    // Credentials were meant for the address asked for, not for wherever it points on.
    HttpRequest& request = transfer->request;
    request.basicCredentials.reset();
    request.headers.erase(std::remove_if(request.headers.begin(), request.headers.end(),
                                         [](const auto& f) { return isCredentialHeader(f.first); }),
                          request.headers.end());
    if ((status == 303 && request.method != HttpMethod::Head) ||
        ((status == 301 || status == 302) && request.method == HttpMethod::Post)) {
        request.method = HttpMethod::Get;
        request.body.clear();
        request.bodyContentType.clear();
        request.multipart.clear();
    }
    const auto from = originOf(transfer->url);
    const auto to = originOf(target);
    if (!from || !to || !(*from == *to) || !sameOrigin(target)) {
        target = removeTokenParameter(target);
    }
    transfer->url = target;
    request.url = target;
    warnAboutPlainHttp(target);

    if (auto error = startTransfer(*transfer)) {
        transfer->localError = std::move(error);
        releaseHandles(*transfer);
        return false;
    }
    CURL* easy = transfer->easy;
    active.emplace(easy, std::move(transfer));
    return true;
}

HttpResult HttpSession::Impl::judge(Transfer& transfer, CURLcode code) {
    HttpResult result;
    result.requestUrl = transfer.requestUrl;
    HttpResponse& response = transfer.response;
    response.url = transfer.url;
    if (transfer.easy != nullptr) {
        curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &response.status);
    }
    if (transfer.file != nullptr && std::fclose(transfer.file) != 0) {
        transfer.file = nullptr;
        if (!transfer.localError) {
            transfer.localError = networkError(HttpErrors::kCannotWriteToFile,
                                               "The downloaded file could not be written.");
        }
    }
    transfer.file = nullptr;

    if (transfer.task->isCancelled()) {
        result.error = cancelledError();
    } else if (transfer.localError) {
        result.error = transfer.localError;
    } else if (code != CURLE_OK) {
        auto origin = originOf(transfer.url);
        result.error =
            errorForCurlCode(code, transfer.errorBuffer.data(), origin ? origin->host : "");
    } else if (!transfer.request.acceptsStatus(response.status)) {
        result.error = Error::make(HttpErrors::kHttpDomain, static_cast<int>(response.status),
                                   fmt::format("Request failed: {} ({})",
                                               reasonForStatus(response.status), response.status));
        result.error->serverMessage = response.serverMessage();
    } else {
        const auto& accepted = transfer.request.acceptedContentTypes;
        const bool nothingToJudge =
            response.contentType.empty() && response.body.empty() && !transfer.writingToFile;
        const std::string mimeType = response.mimeType();
        if (!accepted.empty() && !nothingToJudge &&
            std::none_of(accepted.begin(), accepted.end(),
                         [&](const auto& type) { return equalsIgnoringCase(type, mimeType); })) {
            result.error =
                Error::make(HttpErrors::kHttpDomain, HttpErrors::kUnacceptableContentType,
                            "Request failed: unacceptable content-type: " +
                                (response.contentType.empty() ? std::string("(none)") : mimeType));
        } else if (transfer.request.decodeJson && transfer.request.downloadPath.empty()) {
            const bool blank = std::all_of(response.body.begin(), response.body.end(), [](char c) {
                return std::isspace(static_cast<unsigned char>(c));
            });
            if (!blank) {
                auto decoded = JsonDecoder::decode(
                    response.body,
                    {transfer.request.maxJsonDepth, transfer.request.packedJsonLists});
                switch (decoded.outcome) {
                    case JsonDecoder::Outcome::Decoded:
                        response.json =
                            std::make_shared<const nlohmann::json>(std::move(decoded.value));
                        break;
                    case JsonDecoder::Outcome::TooDeep:
                        result.error = HttpErrors::answerTooDeep();
                        break;
                    case JsonDecoder::Outcome::NotJson:
                        result.error = Error::make(
                            HttpErrors::kHttpDomain, HttpErrors::kCannotParseResponse,
                            "The data couldn't be read because it isn't in the correct format.");
                        break;
                }
            }
        }
    }

    if (!transfer.request.downloadPath.empty()) {
        if (!result.error && transfer.writingToFile) {
            std::error_code renameError;
            std::filesystem::rename(transfer.temporaryPath, transfer.request.downloadPath,
                                    renameError);
            if (renameError) {
                result.error = networkError(
                    HttpErrors::kCannotWriteToFile,
                    "The downloaded file could not be moved into place: " + renameError.message());
            } else {
                transfer.temporaryPath.clear();
                response.downloadedPath = transfer.request.downloadPath;
            }
        } else if (!result.error && transfer.request.method != HttpMethod::Head &&
                   response.status != 304) {
            // An accepted answer without a body: the file exists and is empty. An accepted
            // 304 writes nothing: it says that the caller's own copy is current.
            std::string pattern = transfer.request.downloadPath + ".XXXXXX";
            int descriptor = ::mkstemp(pattern.data());
            std::error_code renameError;
            if (descriptor >= 0) {
                ::close(descriptor);
                std::filesystem::rename(pattern, transfer.request.downloadPath, renameError);
            }
            if (descriptor < 0 || renameError) {
                removeQuietly(pattern);
                result.error = networkError(HttpErrors::kCannotCreateFile,
                                            "The downloaded file could not be created.");
            } else {
                response.downloadedPath = transfer.request.downloadPath;
            }
        }
        if (result.error) {
            discardFile(transfer);
        }
    }
    result.response = std::move(response);
    return result;
}

void HttpSession::Impl::deliver(std::unique_ptr<Transfer> transfer, HttpResult result) {
    releaseHandles(*transfer);
    discardFile(*transfer);
    mainQueue->post([alive = alive, state = transfer->task->state_,
                     completion = std::move(transfer->completion), progress = transfer->progress,
                     progressHandler = std::move(transfer->request.downloadProgress),
                     result = std::move(result)]() mutable {
        if (!alive->load() || state->completed.exchange(true)) {
            return;
        }
        if (result.ok() && progressHandler && !result.response.downloadedPath.empty()) {
            const std::int64_t received = progress->received.load();
            if (progress->lastReported != received) {
                const std::int64_t expected = progress->expected.load();
                progressHandler(received, expected >= 0 ? expected : received);
            }
        }
        if (completion) {
            completion(std::move(result));
        }
    });
}

void HttpSession::Impl::finishTransfer(CURL* easy, CURLcode code) {
    auto found = active.find(easy);
    if (found == active.end()) {
        return;
    }
    std::unique_ptr<Transfer> transfer = std::move(found->second);
    active.erase(found);
    if (code == CURLE_OK && !transfer->task->isCancelled() && followRedirect(transfer)) {
        return;
    }
    HttpResult result = judge(*transfer, code);
    deliver(std::move(transfer), std::move(result));
}

void HttpSession::Impl::run() {
    for (;;) {
        std::vector<std::unique_ptr<Transfer>> arrived;
        {
            std::lock_guard lock(mutex);
            if (stopping) {
                break;
            }
            arrived.swap(incoming);
        }
        for (auto& transfer : arrived) {
            if (transfer->task->isCancelled()) {
                deliver(std::move(transfer), HttpResult{cancelledError(), {}, {}});
                continue;
            }
            if (auto error = startTransfer(*transfer)) {
                HttpResult result{std::move(error), {}, transfer->requestUrl};
                deliver(std::move(transfer), std::move(result));
                continue;
            }
            CURL* easy = transfer->easy;
            active.emplace(easy, std::move(transfer));
        }
        // A cancelled transfer leaves at once, whatever libcurl is waiting for.
        std::vector<CURL*> cancelled;
        for (const auto& [easy, transfer] : active) {
            if (transfer->task->isCancelled()) {
                cancelled.push_back(easy);
            }
        }
        for (CURL* easy : cancelled) {
            finishTransfer(easy, CURLE_ABORTED_BY_CALLBACK);
        }

        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                finishTransfer(message->easy_handle, message->data.result);
            }
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto& [easy, transfer] : active) {
        releaseHandles(*transfer);
        discardFile(*transfer);
        transfer->task->state_->completed.store(true);
    }
    active.clear();
}

// ---------------------------------------------------------------------------------------------
// HttpSession

HttpSession::HttpSession(std::string baseURL, HttpSessionOptions options,
                         std::shared_ptr<MainQueue> mainQueue)
    : impl_(std::make_shared<Impl>()) {
    initialiseCurlOnce();
    if (baseURL.empty() || baseURL.back() != '/') {
        baseURL.push_back('/');
    }
    impl_->baseURL = std::move(baseURL);
    impl_->baseOrigin = originOf(impl_->baseURL);
    impl_->options = std::move(options);
    if (!impl_->options.caBundlePath.empty()) {
        impl_->loadExtraAuthorities();
    }
    impl_->mainQueue = mainQueue ? std::move(mainQueue) : MainQueue::sharedPointer();
    impl_->multi = curl_multi_init();
    curl_multi_setopt(impl_->multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                      static_cast<long>(std::max(1, impl_->options.maxConnectionsPerHost)));
    impl_->worker = std::thread([impl = impl_.get()] { impl->run(); });
}

HttpSession::~HttpSession() {
    impl_->alive->store(false);
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
        for (auto& transfer : impl_->incoming) {
            transfer->task->state_->completed.store(true);
        }
        impl_->incoming.clear();
    }
    impl_->wake();
    if (impl_->worker.joinable()) {
        impl_->worker.join();
    }
    CURLM* multi = nullptr;
    {
        std::lock_guard lock(impl_->mutex);
        std::swap(multi, impl_->multi);
    }
    curl_multi_cleanup(multi);
}

const std::string& HttpSession::baseURL() const {
    return impl_->baseURL;
}
const HttpSessionOptions& HttpSession::options() const {
    return impl_->options;
}

std::string HttpSession::resolve(std::string_view relativePath) const {
    CurlUrl url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, impl_->baseURL.c_str(),
                             CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return std::string(relativePath);
    }
    std::string relative(relativePath);
    if (curl_url_set(url.get(), CURLUPART_URL, relative.c_str(),
                     CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE) != CURLUE_OK) {
        return relative;
    }
    return urlPart(url.get(), CURLUPART_URL).value_or(relative);
}

std::shared_ptr<HttpTask> HttpSession::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_unique<Impl::Transfer>();
    transfer->requestUrl = resolve(request.url);
    transfer->url = transfer->requestUrl;
    auto state = std::make_shared<HttpTask::State>();
    state->wake = [weak = std::weak_ptr<Impl>(impl_)] {
        if (auto impl = weak.lock()) {
            impl->wake();
        }
    };
    auto task = std::make_shared<HttpTask>(nextTaskIdentifier(), transfer->requestUrl,
                                           request.method, state);
    impl_->warnAboutPlainHttp(transfer->url);
    transfer->task = task;
    transfer->request = std::move(request);
    transfer->request.url = transfer->url;
    transfer->completion = std::move(completion);
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->stopping) {
            state->completed.store(true);
            return task;
        }
        impl_->incoming.push_back(std::move(transfer));
        auto expired = [](const std::weak_ptr<HttpTask>& weak) { return weak.expired(); };
        impl_->liveTasks.erase(
            std::remove_if(impl_->liveTasks.begin(), impl_->liveTasks.end(), expired),
            impl_->liveTasks.end());
        impl_->liveTasks.push_back(task);
    }
    impl_->wake();
    return task;
}

void HttpSession::cancelAll() {
    std::vector<std::shared_ptr<HttpTask>> tasks;
    {
        std::lock_guard lock(impl_->mutex);
        for (const auto& weakTask : impl_->liveTasks) {
            if (auto task = weakTask.lock()) {
                tasks.push_back(std::move(task));
            }
        }
    }
    for (const auto& task : tasks) {
        task->state_->cancelled.store(true);
    }
    impl_->wake();
}

bool HttpSession::isSameOrigin(std::string_view url) const {
    return impl_->sameOrigin(url);
}

HttpHeaderFields HttpSession::headersToSend(const HttpRequest& request) const {
    std::string url = resolve(request.url);
    return impl_->headersFor(request, url);
}

std::string HttpSession::escapePathComponent(std::string_view text) {
    return percentEscape(text, {});
}

std::string HttpSession::escapeQueryValue(std::string_view text, std::string_view allowed) {
    std::string kept;
    for (char c : allowed) {
        if (std::string_view("&=+#%").find(c) == std::string_view::npos) {
            kept.push_back(c);
        }
    }
    return percentEscape(text, kept);
}

std::string HttpSession::removeTokenParameter(std::string_view url) {
    const auto queryStart = url.find('?');
    if (queryStart == std::string_view::npos) {
        return std::string(url);
    }
    const auto fragmentStart = url.find('#', queryStart);
    std::string_view query = url.substr(queryStart + 1, fragmentStart == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : fragmentStart - queryStart - 1);
    std::string keptQuery;
    while (true) {
        const auto ampersand = query.find('&');
        std::string_view parameter = query.substr(0, ampersand);
        std::string_view name = parameter.substr(0, parameter.find('='));
        if (name != "token" && !parameter.empty()) {
            if (!keptQuery.empty()) {
                keptQuery.push_back('&');
            }
            keptQuery.append(parameter);
        }
        if (ampersand == std::string_view::npos) {
            break;
        }
        query.remove_prefix(ampersand + 1);
    }
    std::string result(url.substr(0, queryStart));
    if (!keptQuery.empty()) {
        result += "?" + keptQuery;
    }
    if (fragmentStart != std::string_view::npos) {
        result.append(url.substr(fragmentStart));
    }
    return result;
}

std::optional<HttpSession::Origin> HttpSession::originOf(std::string_view url) {
    initialiseCurlOnce();
    CurlUrl handle(curl_url());
    std::string text(url);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    auto scheme = urlPart(handle.get(), CURLUPART_SCHEME);
    auto host = urlPart(handle.get(), CURLUPART_HOST);
    auto port = urlPart(handle.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!scheme || !host || !port) {
        return std::nullopt;
    }
    Origin origin;
    origin.scheme = lowerCased(*scheme);
    origin.host = lowerCased(*host);
    if (origin.host.size() >= 2 && origin.host.front() == '[' && origin.host.back() == ']') {
        origin.host = origin.host.substr(1, origin.host.size() - 2);
    }
    origin.port = std::atoi(port->c_str());
    return origin;
}

bool HttpSession::isLoopbackHost(std::string_view host) {
    if (equalsIgnoringCase(host, "localhost") || host == "::1" || host == "[::1]") {
        return true;
    }
    return host.substr(0, 4) == "127." && std::all_of(host.begin(), host.end(), [](char c) {
               return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
           });
}

}  // namespace pagewell
