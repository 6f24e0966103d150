#pragma once
// What the endpoint groups beyond the catalogue share: the token check of framed routes, the
// request parameters as one JSON object, identifiers that arrive as text or number, and the
// server's own "now" as a server date text. Stateless; safe from any thread.

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"
#include "platform/Error.h"

namespace pagewell::cms {

class EndpointSupport {
  public:
    using Answer = std::function<CmsResponse(int user, const CmsRequest&)>;

    // A missing or expired "token" gets 200 with an empty body, as on every framed route.
    static RouteHandler framed(const CmsServices& services, Answer answer);

    // POST and PUT parameters travel as a JSON object body; GET and DELETE parameters as the
    // query, where a DELETE may also carry a JSON object body (its keys win). A body that is
    // present but not a JSON object is an error.
    static Result<nlohmann::json> parameters(const CmsRequest& request);

    // A positive identifier written as a number or as decimal text.
    static std::optional<int> idValue(const nlohmann::json& value);
    static std::optional<int> idParameter(const nlohmann::json& parameters, const char* key);
    // A non-negative decimal path capture.
    static int idCapture(const CmsRequest& request, std::size_t index);

    // 400 with a short JSON error.
    static CmsResponse badRequest(const std::string& message);
    // The answer for an accepted change: {"success": true} plus `extra`.
    static CmsResponse success(nlohmann::json extra = nlohmann::json::object());

    // The current time from Clock::shared(), as "yyyy-MM-dd HH:mm:ss" in UTC.
    static std::string nowText();
};

}  // namespace pagewell::cms
