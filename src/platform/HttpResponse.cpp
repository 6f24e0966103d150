#include "platform/HttpResponse.h"

#include "platform/Utf8.h"

#include <strings.h>

#include <cctype>
#include <nlohmann/json.hpp>
#include <string>

namespace pagewell {

namespace {

// Bodies larger than this are not read for a message: a notice is short, and a big answer is
// not worth decoding on a failure path.
constexpr std::size_t kMessageBodyLimit = 16 * 1024;

// One line of displayable text: runs of white space and line breaks become one space, other
// control characters (C0, DEL, C1) and invalid UTF-8 are dropped, and the result is cut at a
// character boundary.
std::string cleanedLine(std::string_view text, std::size_t limit) {
    std::string line;
    bool pendingSpace = false;
    while (!text.empty()) {
        std::size_t length = Utf8::sequenceLength(text);
        if (length == 0) {
            text.remove_prefix(1);
            continue;
        }
        const auto first = static_cast<unsigned char>(text[0]);
        const bool control =
            first < 0x20 || first == 0x7F ||
            (length == 2 && first == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0);
        if (first == ' ' || (first >= '\t' && first <= '\r')) {
            pendingSpace = !line.empty();
            text.remove_prefix(length);
            continue;
        }
        if (control) {
            text.remove_prefix(length);
            continue;
        }
        const std::size_t needed = length + (pendingSpace ? 1 : 0);
        if (line.size() + needed > limit) {
            const std::string_view ellipsis = "…";
            while (!line.empty() && line.size() + ellipsis.size() > limit) {
                // Drop whole characters: continuation bytes first, then their lead byte.
                while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) {
                    line.pop_back();
                }
                if (!line.empty()) {
                    line.pop_back();
                }
            }
            line.append(ellipsis);
            return line;
        }
        if (pendingSpace) {
            line.push_back(' ');
            pendingSpace = false;
        }
        line.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return line;
}

}  // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    for (const auto& [fieldName, value] : headers) {
        if (fieldName.size() == name.size() &&
            strncasecmp(fieldName.data(), name.data(), name.size()) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

std::string HttpResponse::mimeType() const {
    std::string type = contentType.substr(0, contentType.find(';'));
    auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    while (!type.empty() && !notBlank(static_cast<unsigned char>(type.back()))) {
        type.pop_back();
    }
    std::size_t start = 0;
    while (start < type.size() && !notBlank(static_cast<unsigned char>(type[start]))) {
        ++start;
    }
    type.erase(0, start);
    for (char& c : type) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return type;
}

std::string HttpResponse::serverMessage() const {
    if (body.empty() || body.size() > kMessageBodyLimit) {
        return {};
    }
    const std::string type = mimeType();
    const bool isJson = type == "application/json" || type.ends_with("+json") ||
                        (type.empty() && body.find_first_not_of(" \t\r\n") != std::string::npos &&
                         body[body.find_first_not_of(" \t\r\n")] == '{');
    if (isJson) {
        // Only the top level matters; deeper values are skipped while parsing, so no nesting
        // depth a server sends can cost more than the bounded body.
        auto parsed = nlohmann::json::parse(
            body,
            [](int depth, nlohmann::json::parse_event_t, nlohmann::json&) { return depth <= 1; },
            false);
        if (!parsed.is_object()) {
            return {};
        }
        for (const char* key : {"message", "error"}) {
            auto found = parsed.find(key);
            if (found != parsed.end() && found->is_string()) {
                std::string line =
                    cleanedLine(found->get_ref<const std::string&>(), kServerMessageLimit);
                if (!line.empty()) {
                    return line;
                }
            }
        }
        return {};
    }
    if (type == "text/plain" || type.empty()) {
        return cleanedLine(body, kServerMessageLimit);
    }
    return {};
}

Error HttpErrors::answerTooLarge(std::size_t maxBodyBytes) {
    constexpr std::size_t kKiB = 1024;
    constexpr std::size_t kMiB = kKiB * kKiB;
    const std::string bound = maxBodyBytes >= kMiB && maxBodyBytes % kMiB == 0
                                  ? std::to_string(maxBodyBytes / kMiB) + " MiB"
                              : maxBodyBytes >= kKiB && maxBodyBytes % kKiB == 0
                                  ? std::to_string(maxBodyBytes / kKiB) + " KiB"
                                  : std::to_string(maxBodyBytes) + " bytes";
    return Error::make(kAnswerDomain, kAnswerTooLarge,
                       "The server's answer is too large (more than " + bound + ").");
}

Error HttpErrors::answerTooDeep() {
    return Error::make(kAnswerDomain, kAnswerTooDeep, kAnswerTooDeepDescription);
}

}  // namespace pagewell
