#include "platform/HttpResponse.h"

#include <strings.h>

#include <cctype>

namespace pagewell {

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

}  // namespace pagewell
