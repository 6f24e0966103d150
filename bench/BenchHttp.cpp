#include "BenchHttp.h"

#include <curl/curl.h>

namespace pagewell::bench {

namespace {

constexpr const char* kDomain = "BenchHttp";

std::size_t appendBody(char* data, std::size_t size, std::size_t count, void* target) {
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

}  // namespace

struct BenchHttp::Handle {
    CURL* curl = curl_easy_init();
    ~Handle() { curl_easy_cleanup(curl); }
};

BenchHttp::BenchHttp(bool acceptEncodings)
    : acceptEncodings_(acceptEncodings), handle_(std::make_unique<Handle>()) {}

BenchHttp::~BenchHttp() = default;

Result<std::string> BenchHttp::fetch(const std::string& url, const std::string& method,
                                     const std::string& body) {
    CURL* curl = handle_->curl;
    if (curl == nullptr) {
        return Error::make(kDomain, 1, "no curl handle");
    }
    std::string answer;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method == "GET" ? nullptr : method.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    if (!body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, acceptEncodings_ ? "gzip, deflate" : nullptr);
    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        return Error::make(kDomain, static_cast<int>(code),
                           std::string(curl_easy_strerror(code)) + ": " + url);
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        return Error::make(kDomain, static_cast<int>(status),
                           "HTTP " + std::to_string(status) + ": " + url);
    }
    return answer;
}

}  // namespace pagewell::bench
