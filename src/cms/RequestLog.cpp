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
    std::string redacted =
        target.find("/auth/login/") == std::string::npos
            ? target
            : std::regex_replace(target, kLogin, std::string("$1") + kRedacted + "$2" + kRedacted);
    // Query values of secret names, wherever "?" or "&" starts a "name=value" pair.
    std::string out;
    out.reserve(redacted.size());
    std::size_t i = 0;
    while (i < redacted.size()) {
        const char c = redacted[i];
        out.push_back(c);
        ++i;
        if (c != '?' && c != '&') {
            continue;
        }
        for (std::string_view name : {"token=", "password=", "secret="}) {
            if (i + name.size() <= redacted.size() &&
                ::strncasecmp(redacted.c_str() + i, name.data(), name.size()) == 0) {
                out.append(redacted, i, name.size()).append(kRedacted);
                i = redacted.find_first_of("&#", i + name.size());
                if (i == std::string::npos) {
                    i = redacted.size();
                }
                break;
            }
        }
    }
    return out;
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
