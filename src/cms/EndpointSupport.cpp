#include "cms/EndpointSupport.h"

#include <charconv>
#include <ctime>

#include "platform/Clock.h"

namespace pagewell::cms {

using nlohmann::json;

RouteHandler EndpointSupport::framed(const CmsServices& services, Answer answer) {
    return [&services, answer = std::move(answer)](const CmsRequest& request) {
        auto user = services.authenticatedUser(request);
        if (!user) {
            return CmsResponse::empty();
        }
        return answer(*user, request);
    };
}

Result<json> EndpointSupport::parameters(const CmsRequest& request) {
    const bool bodyMethod = request.method == "POST" || request.method == "PUT";
    json parameters = json::object();
    if (!bodyMethod) {
        for (const auto& [key, value] : request.query) {
            if (key != "token") {
                parameters[key] = value;
            }
        }
    }
    const bool blank = request.body.find_first_not_of(" \t\r\n") == std::string::npos;
    if (blank) {
        if (bodyMethod) {
            return Error::make("CmsRequest", 400, "expected a JSON object body");
        }
        return parameters;
    }
    json body = json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        return Error::make("CmsRequest", 400, "the body is not a JSON object");
    }
    for (auto& [key, value] : body.items()) {
        parameters[key] = value;
    }
    return parameters;
}

std::optional<int> EndpointSupport::idValue(const json& value) {
    long long number = -1;
    if (value.is_number_integer()) {
        number = value.get<long long>();
    } else if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (number < 0 || number > 999'999'999) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

std::optional<int> EndpointSupport::idParameter(const json& parameters, const char* key) {
    auto it = parameters.find(key);
    return it == parameters.end() ? std::nullopt : idValue(*it);
}

int EndpointSupport::idCapture(const CmsRequest& request, std::size_t index) {
    return idValue(json(request.captures.at(index))).value_or(0);
}

CmsResponse EndpointSupport::badRequest(const std::string& message) {
    return CmsResponse::error(400, message);
}

CmsResponse EndpointSupport::success(json extra) {
    json answer = {{"success", true}};
    answer.update(extra);
    return CmsResponse::json(answer.dump());
}

std::string EndpointSupport::nowText() {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(Clock::shared().now());
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

}  // namespace pagewell::cms
