#include "cms/RouteTable.h"

#include <strings.h>
#include <nlohmann/json.hpp>

namespace pagewell::cms {

std::optional<std::string> CmsRequest::queryValue(const std::string& name) const {
    auto it = query.find(name);
    return it == query.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<std::string> CmsRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (::strcasecmp(key.c_str(), name.c_str()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

CmsResponse CmsResponse::json(std::string body, int status) {
    CmsResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

CmsResponse CmsResponse::error(int status, const std::string& message) {
    return json(nlohmann::json{{"success", false}, {"error", message}}.dump(), status);
}

CmsResponse CmsResponse::empty() {
    CmsResponse response;
    response.contentType = "text/plain";
    return response;
}

namespace {

// The literal text at the start of an anchored pattern: "^/api2/auth/login/([^/]*)" gives
// "/api2/auth/login/". Empty when the pattern is not anchored or has alternatives.
std::string literalPrefix(const std::string& pattern) {
    if (pattern.empty() || pattern.front() != '^' || pattern.find('|') != std::string::npos) {
        return {};
    }
    static constexpr std::string_view kSpecial = ".[]()*+?{}\\$^";
    std::string prefix;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (kSpecial.find(c) == std::string_view::npos) {
            prefix.push_back(c);
            continue;
        }
        // A quantifier makes the character before it optional or repeated.
        if ((c == '*' || c == '?' || c == '{') && !prefix.empty()) {
            prefix.pop_back();
        }
        break;
    }
    return prefix;
}

}  // namespace

void RouteTable::add(std::string method, const std::string& pattern, RouteHandler handler) {
    routes_.push_back(Route{std::move(method), pattern, literalPrefix(pattern), std::regex(pattern),
                            std::move(handler)});
}

CmsResponse RouteTable::dispatch(CmsRequest& request) const {
    bool pathKnown = false;
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    for (const auto& route : routes_) {
        if (request.path.compare(0, route.prefix.size(), route.prefix) != 0) {
            continue;
        }
        std::smatch match;
        if (!std::regex_match(request.path, match, route.regex)) {
            continue;
        }
        pathKnown = true;
        if (route.method != request.method && route.method != method) {
            continue;
        }
        request.captures.clear();
        for (std::size_t i = 1; i < match.size(); ++i) {
            request.captures.push_back(match[i].str());
        }
        return route.handler(request);
    }
    return pathKnown ? CmsResponse::error(405, "method not allowed")
                     : CmsResponse::error(404, "not found");
}

}  // namespace pagewell::cms
