#pragma once
// What the HTTP layer hands to the traffic log: plain copies of a request and its answer, so the
// log never holds a transfer handle and may run on whichever thread finished the transfer. The
// answer's body is lent for the call only: a catalogue answer runs to tens of megabytes, and a
// copy of it for a log that is usually off would double what the transfer holds.

#include <string>
#include <string_view>
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
    std::string_view body;  // the decoded answer as text; valid during the call only
};

}  // namespace pagewell
