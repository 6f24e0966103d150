#include "diag/AFNetworkLumberjackLogger.h"

#include <map>

#include "diag/LogRedactor.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

constexpr const char* kNone = "(null)";

std::mutex gSharedMutex;
std::shared_ptr<AFNetworkLumberjackLogger>& sharedSlot() {
    static std::shared_ptr<AFNetworkLumberjackLogger> logger =
        std::make_shared<AFNetworkLumberjackLogger>();
    return logger;
}

// Text that reads unambiguously without quotes stays bare, everything else is quoted, the way a
// property-list dictionary prints.
std::string quoted(std::string_view text) {
    const bool bare = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '.' || c == '$' || c == '/' || c == ':' || c == '-';
    });
    if (bare) {
        return std::string(text);
    }
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    out += '"';
    return out;
}

template <class Pairs>
std::string dictionaryText(const Pairs& pairs) {
    std::string out = "{";
    for (const auto& [key, value] : pairs) {
        out += fmt::format("{}{} = {};", out.size() > 1 ? " " : "", quoted(key), quoted(value));
    }
    out += "}";
    return out;
}

double secondsBetween(SystemTime start, SystemTime end) {
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace

std::shared_ptr<AFNetworkLumberjackLogger> AFNetworkLumberjackLogger::sharedLogger() {
    std::lock_guard lock(gSharedMutex);
    return sharedSlot();
}

void AFNetworkLumberjackLogger::setSharedLogger(std::shared_ptr<AFNetworkLumberjackLogger> logger) {
    std::lock_guard lock(gSharedMutex);
    sharedSlot() = logger ? std::move(logger) : std::make_shared<AFNetworkLumberjackLogger>();
}

void AFNetworkLumberjackLogger::startLogging() {
    stopLogging();
    std::lock_guard lock(mutex_);
    logging_ = true;
}

void AFNetworkLumberjackLogger::stopLogging() {
    std::lock_guard lock(mutex_);
    logging_ = false;
    started_.clear();
}

bool AFNetworkLumberjackLogger::isLogging() const {
    std::lock_guard lock(mutex_);
    return logging_;
}

void AFNetworkLumberjackLogger::setLevel(int level) {
    std::lock_guard lock(mutex_);
    level_ = level;
}

int AFNetworkLumberjackLogger::level() const {
    std::lock_guard lock(mutex_);
    return level_;
}

void AFNetworkLumberjackLogger::setFilterPredicate(FilterPredicate predicate) {
    std::lock_guard lock(mutex_);
    filter_ = std::move(predicate);
}

bool AFNetworkLumberjackLogger::passesFilter(const HttpTrafficRequest& request) const {
    FilterPredicate filter;
    {
        std::lock_guard lock(mutex_);
        filter = filter_;
    }
    return !filter || !filter(request);
}

void AFNetworkLumberjackLogger::taskDidStart(TaskId task, const HttpTrafficRequest& request) {
    int level = kLevelOff;
    {
        std::lock_guard lock(mutex_);
        if (!logging_) {
            return;
        }
        started_[task] = Clock::shared().now();
        level = level_;
    }
    if ((level != kLevelBrief && level != kLevelFull) || !passesFilter(request)) {
        return;
    }
    const std::string url = LogRedactor::redactUrl(request.url);
    if (level == kLevelBrief) {
        PW_LOG_INFO("{} '{}'", request.method, url);
        return;
    }
    const std::string headers = dictionaryText(LogRedactor::redactHeaders(request.headers));
    const std::string body =
        bodyToPrintForRequest(LogRedactor::redactBody(request.body)).value_or(kNone);
    PW_LOG_INFO("{} '{}': {} {}", request.method, url, headers, body);
}

void AFNetworkLumberjackLogger::taskDidComplete(TaskId task, const HttpTrafficRequest& request,
                                                const HttpTrafficResponse& response,
                                                const std::optional<Error>& error) {
    int level = kLevelOff;
    double elapsed = 0.0;
    {
        std::lock_guard lock(mutex_);
        if (!logging_) {
            return;
        }
        if (auto it = started_.find(task); it != started_.end()) {
            elapsed = secondsBetween(it->second, Clock::shared().now());
            started_.erase(it);
        }
        level = level_;
    }
    if (level < kLevelFull || !passesFilter(request)) {
        return;
    }
    const std::string url = LogRedactor::redactUrl(request.url);
    if (error) {
        if (level <= 4) {
            PW_LOG_ERROR("[Error] {} '{}' ({}) [{:.4f} s]: {}", request.method, url,
                         response.status, elapsed, LogRedactor::redactText(error->toString()));
        }
        return;
    }
    if (level == kLevelBrief) {
        PW_LOG_INFO("{} '{}' [{:.4f} s]", response.status, url, elapsed);
    } else if (level == kLevelFull) {
        PW_LOG_INFO("{} '{}' [{:.4f} s]: {} {}", response.status, url, elapsed,
                    dictionaryText(LogRedactor::redactHeaders(response.headers)),
                    objectToPrintForNotification(response));
    }
}

std::optional<std::string> AFNetworkLumberjackLogger::bodyToPrintForRequest(std::string_view body) {
    if (body.empty()) {
        return std::nullopt;
    }
    // A dictionary: one entry per key, the last value of a repeated key wins.
    std::map<std::string, std::string> pairs;
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = std::min(body.find('&', start), body.size());
        std::string_view pair = body.substr(start, end - start);
        if (const std::size_t equals = pair.find('='); equals != std::string_view::npos) {
            std::string_view value = pair.substr(equals + 1);
            auto decoded = LogRedactor::decodeFormComponent(value);
            if (!decoded) {
                // Malformed escapes stay as sent, with only the blanks restored.
                decoded = std::string(value);
                std::replace(decoded->begin(), decoded->end(), '+', ' ');
            }
            pairs[std::string(pair.substr(0, equals))] = std::move(*decoded);
        } else if (!pair.empty()) {
            pairs[std::string(pair)] = std::string();
        }
        start = end + 1;
    }
    return dictionaryText(pairs);
}

std::string AFNetworkLumberjackLogger::objectToPrintForNotification(
    const HttpTrafficResponse& response) {
    if (response.body.empty()) {
        return kNone;
    }
    return LogRedactor::redactBody(response.body);
}

}  // namespace pagewell
