#include "cms/RequestLog.h"

#include <strings.h>

#include <nlohmann/json.hpp>
#include <regex>

namespace pagewell::cms {

namespace {

constexpr std::size_t kBodyLimit = 4096;

bool isSecretKey(const std::string& key) {
    for (const char* name : {"password", "token", "secret", "pass"}) {
        if (::strcasecmp(key.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}

void redactJson(nlohmann::json& value) {
    if (value.is_object()) {
        for (auto& [key, item] : value.items()) {
            if (isSecretKey(key)) {
                item = RequestLog::kRedacted;
            } else {
                redactJson(item);
            }
        }
    } else if (value.is_array()) {
        for (auto& item : value) {
            redactJson(item);
        }
    }
}

}  // namespace

void RequestLog::add(RequestLogEntry entry) {
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    while (entries_.size() > kCapacity) {
        entries_.pop_front();
    }
}

std::vector<RequestLogEntry> RequestLog::entries() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::string RequestLog::redactTarget(const std::string& target) {
    // The fallback login carries user, password, installation id and secret as path segments.
    static const std::regex kLogin(R"(^(.*/auth/login/[^/?]*/)[^/?]*(/[^/?]*/)[^/?]*)");
    static const std::regex kQuerySecret(R"(([?&](token|password|secret)=)[^&#]*)",
                                         std::regex::icase);
    std::string redacted =
        std::regex_replace(target, kLogin, std::string("$1") + kRedacted + "$2" + kRedacted);
    return std::regex_replace(redacted, kQuerySecret, std::string("$1") + kRedacted);
}

std::string RequestLog::redactHeader(const std::string& name, const std::string& value) {
    if (::strcasecmp(name.c_str(), "Authorization") == 0 ||
        ::strcasecmp(name.c_str(), "X-App-Secret") == 0 ||
        ::strcasecmp(name.c_str(), "Cookie") == 0) {
        return kRedacted;
    }
    return value;
}

std::string RequestLog::redactBody(const std::string& body) {
    if (body.empty()) {
        return body;
    }
    auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (parsed.is_discarded()) {
        // Not JSON (an upload, or garbage): keep only its size, it may hold anything.
        return "<" + std::to_string(body.size()) + " bytes>";
    }
    redactJson(parsed);
    std::string text = parsed.dump();
    if (text.size() > kBodyLimit) {
        text.resize(kBodyLimit);
        text += "...";
    }
    return text;
}

}  // namespace pagewell::cms
