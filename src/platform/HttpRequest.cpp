#include "platform/HttpRequest.h"

#include <strings.h>
#include <algorithm>

namespace pagewell {

const char* httpMethodName(HttpMethod method) {
    switch (method) {
        case HttpMethod::Head:
            return "HEAD";
        case HttpMethod::Get:
            return "GET";
        case HttpMethod::Post:
            return "POST";
        case HttpMethod::Put:
            return "PUT";
        case HttpMethod::Delete:
            return "DELETE";
    }
    return "GET";
}

HttpMultipartPart HttpMultipartPart::field(std::string name, std::string value) {
    HttpMultipartPart part;
    part.name = std::move(name);
    part.data = std::move(value);
    return part;
}

HttpMultipartPart HttpMultipartPart::fileData(std::string name, std::string fileName,
                                              std::string contentType, std::string bytes) {
    HttpMultipartPart part;
    part.name = std::move(name);
    part.fileName = std::move(fileName);
    part.contentType = std::move(contentType);
    part.data = std::move(bytes);
    return part;
}

HttpMultipartPart HttpMultipartPart::file(std::string name, std::string fileName,
                                          std::string contentType, std::string path) {
    HttpMultipartPart part;
    part.name = std::move(name);
    part.fileName = std::move(fileName);
    part.contentType = std::move(contentType);
    part.filePath = std::move(path);
    return part;
}

HttpRequest HttpRequest::json(HttpMethod method, std::string url) {
    HttpRequest request;
    request.method = method;
    request.url = std::move(url);
    request.acceptedContentTypes = {"application/json"};
    request.decodeJson = true;
    return request;
}

void HttpRequest::setJsonBody(std::string serializedJson) {
    body = std::move(serializedJson);
    bodyContentType = "application/json";
}

void HttpRequest::setHeader(const std::string& name, std::string value) {
    auto found = std::find_if(headers.begin(), headers.end(), [&](const auto& field) {
        return strcasecmp(field.first.c_str(), name.c_str()) == 0;
    });
    if (found != headers.end()) {
        found->second = std::move(value);
    } else {
        headers.emplace_back(name, std::move(value));
    }
}

bool HttpRequest::acceptsStatus(long status) const {
    if (status >= 200 && status <= 299) {
        return true;
    }
    return std::find(additionalAcceptedStatuses.begin(), additionalAcceptedStatuses.end(),
                     status) != additionalAcceptedStatuses.end();
}

}  // namespace pagewell
