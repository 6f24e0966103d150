#pragma once
// What the HTTP layer hands to the traffic log: plain copies of a request and its answer, so the
// log never holds a transfer handle and may run on whichever thread finished the transfer.

#include <string>
#include <utility>
#include <vector>

namespace pagewell {

// Header fields in the order they were sent or received; names keep their spelling.
using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpTrafficRequest {
    std::string method;  // "GET", "POST", ...
    std::string url;     // the full address, query included
    HttpHeaders headers;
    std::string body;  // raw body bytes; empty when the request has none
};

struct HttpTrafficResponse {
    long status = 0;  // 0 when no answer arrived
    HttpHeaders headers;
    std::string body;  // the decoded answer as text
};

}  // namespace pagewell
