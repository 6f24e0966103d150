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

void RouteTable::add(std::string method, const std::string& pattern, RouteHandler handler) {
    routes_.push_back(Route{std::move(method), pattern, std::regex(pattern), std::move(handler)});
}

CmsResponse RouteTable::dispatch(CmsRequest& request) const {
    bool pathKnown = false;
    const std::string method = request.method == "HEAD" ? "GET" : request.method;
    for (const auto& route : routes_) {
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
