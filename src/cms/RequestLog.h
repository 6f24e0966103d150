#pragma once
// What the server was asked, for tests to read back through a hook. Secrets never enter it:
// token query values, the password and secret segments of the fallback login address,
// Authorization and X-App-Secret headers and "password"/"token"/"secret" body fields are
// replaced before an entry is stored. Thread-safe: members take mutex_.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace pagewell::cms {

struct RequestLogEntry {
    std::string method;
    std::string target;  // path and query, redacted
    int status = 0;
    std::vector<std::string> headers;  // "Name: value" of the headers worth seeing, redacted
    std::string body;                  // redacted, cut to a few KiB
    int remotePort = 0;                // the client's end, telling its connections apart
};

class RequestLog {
  public:
    static constexpr std::size_t kCapacity = 2000;
    static constexpr const char* kRedacted = "<redacted>";

    void add(RequestLogEntry entry);
    std::vector<RequestLogEntry> entries() const;
    void clear();

    static std::string redactTarget(const std::string& target);
    static std::string redactHeader(const std::string& name, const std::string& value);
    static std::string redactBody(const std::string& body);

  private:
    mutable std::mutex mutex_;
    std::deque<RequestLogEntry> entries_;  // guarded by mutex_
};

}  // namespace pagewell::cms
