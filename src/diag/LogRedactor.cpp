#include "diag/LogRedactor.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/JsonDecoder.h"

namespace pagewell {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::array<std::string_view, 3> kSecretWords = {"token", "secret", "password"};
constexpr std::array<std::string_view, 5> kSecretHeaders = {"authorization", "proxy-authorization",
                                                            "x-app-secret", "cookie", "set-cookie"};

std::string lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

// Characters that end an address or one of its parts when it stands in free text.
bool endsSegment(char c) {
    return c == '/' || c == '?' || c == '#' || c == '&' || c == ' ' || c == '\t' || c == '\n' ||
           c == '\r' || c == '"' || c == '\'' || c == '<' || c == '>';
}

// ".../auth/login/USER/PASSWORD/UID/SECRET": the second and fourth segment are secrets.
std::string redactLoginPath(std::string_view text) {
    static constexpr std::string_view kMarker = "auth/login/";
    const std::string lower = lowercase(text);
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = lower.find(kMarker); at != std::string::npos;
         at = lower.find(kMarker, at + 1)) {
        if (at > 0 && !(text[at - 1] == '/' || endsSegment(text[at - 1]))) {
            continue;
        }
        std::size_t pos = at + kMarker.size();
        for (int segment = 0; segment < 4; ++segment) {
            const std::size_t start = pos;
            while (pos < text.size() && !endsSegment(text[pos])) {
                ++pos;
            }
            if (segment == 1 || segment == 3) {
                out.append(text.substr(copied, start - copied));
                out.append(LogRedactor::kMask);
                copied = pos;
            }
            if (pos >= text.size() || text[pos] != '/') {
                break;
            }
            ++pos;
        }
    }
    out.append(text.substr(copied));
    return out;
}

const std::regex& queryParameterPattern() {
    // A name containing a secret word, introduced by "?", "&", ";", the start or a blank, and
    // its value up to the next separator.
    static const std::regex pattern(
        R"((^|[?&;\s'"(])([^=&#?;\s'"<>()]*(?:token|secret|password)[^=&#?;\s'"<>()]*=)[^&#;\s'"<>()]*)",
        std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& userInfoPattern() {
    static const std::regex pattern(R"(([a-z][a-z0-9+.\-]*://[^/@:\s'"<>]*:)[^/@\s'"<>]*@)",
                                    std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

const std::regex& jsonMemberPattern() {
    // "key": value in JSON text that could not be parsed (cut off by a size limit).
    static const std::regex pattern(
        R"!(("[^"]*(?:token|secret|password)[^"]*"\s*:\s*)("(?:[^"\\]|\\.)*"?|[^,}\]\s]*))!",
        std::regex::ECMAScript | std::regex::icase);
    return pattern;
}

bool redactJson(Json& value) {
    bool changed = false;
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (LogRedactor::isSecretName(it.key())) {
                if (!(it.value().is_string() && it.value() == LogRedactor::kMask)) {
                    it.value() = LogRedactor::kMask;
                    changed = true;
                }
            } else {
                changed = redactJson(it.value()) || changed;
            }
        }
    } else if (value.is_array()) {
        for (auto& element : value) {
            changed = redactJson(element) || changed;
        }
    } else if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (std::string redacted = LogRedactor::redactText(text); redacted != text) {
            value = std::move(redacted);
            changed = true;
        }
    }
    return changed;
}

std::string redactFormBody(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(body.find('&', start), body.size());
        std::string_view pair = body.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        bool secret = false;
        if (equals != std::string_view::npos) {
            std::string_view key = pair.substr(0, equals);
            auto decoded = LogRedactor::decodeFormComponent(key);
            secret = LogRedactor::isSecretName(decoded ? std::string_view(*decoded) : key);
        }
        if (secret) {
            out.append(pair.substr(0, equals + 1)).append(LogRedactor::kMask);
        } else {
            out.append(LogRedactor::redactText(pair));
        }
        if (end >= body.size()) {
            break;
        }
        out.push_back('&');
        start = end + 1;
    }
    return out;
}

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (c < 0x80) {
            length = 1;
        } else if ((c >> 5) == 0x6) {
            length = 2;
        } else if ((c >> 4) == 0xE) {
            length = 3;
        } else if ((c >> 3) == 0x1E) {
            length = 4;
        }
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string LogRedactor::redactUrl(std::string_view url) {
    std::string text = redactLoginPath(url);
    text = std::regex_replace(text, userInfoPattern(), "$1***@");
    return std::regex_replace(text, queryParameterPattern(), "$1$2***");
}

HttpHeaders LogRedactor::redactHeaders(const HttpHeaders& headers) {
    HttpHeaders redacted;
    redacted.reserve(headers.size());
    for (const auto& [name, value] : headers) {
        redacted.emplace_back(name, isSecretHeader(name) ? std::string(kMask) : redactText(value));
    }
    return redacted;
}

bool LogRedactor::isSecretHeader(std::string_view name) {
    const std::string lower = lowercase(name);
    return std::find(kSecretHeaders.begin(), kSecretHeaders.end(), lower) != kSecretHeaders.end() ||
           isSecretName(lower);
}

std::string LogRedactor::redactBody(std::string_view body) {
    const std::size_t first = body.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return std::string(body);
    }
    if (body[first] == '{' || body[first] == '[') {
        // Bounded: the redaction walks the document recursively.
        Json document = JsonDecoder::nestsWithin(body) ? Json::parse(body, nullptr, false)
                                                       : Json(Json::value_t::discarded);
        if (!document.is_discarded()) {
            if (!redactJson(document)) {
                return std::string(body);
            }
            return document.dump(-1, ' ', false, Json::error_handler_t::replace);
        }
        std::string text = std::regex_replace(std::string(body), jsonMemberPattern(), "$1\"***\"");
        return redactText(text);
    }
    return redactFormBody(body);
}

bool LogRedactor::isSecretName(std::string_view name) {
    const std::string lower = lowercase(name);
    return std::any_of(kSecretWords.begin(), kSecretWords.end(), [&](std::string_view word) {
        return lower.find(word) != std::string::npos;
    });
}

std::optional<std::string> LogRedactor::decodeFormComponent(std::string_view component) {
    std::string decoded;
    decoded.reserve(component.size());
    for (std::size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        if (c == '+') {
            decoded.push_back(' ');
        } else if (c == '%') {
            if (i + 2 >= component.size()) {
                return std::nullopt;
            }
            const int high = hexValue(component[i + 1]);
            const int low = hexValue(component[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            decoded.push_back(c);
        }
    }
    if (!isUtf8(decoded)) {
        return std::nullopt;
    }
    return decoded;
}

}  // namespace pagewell
