#include "store/FileTypes.h"

namespace pagewell {

namespace {

struct TypeName {
    std::string_view extension;
    std::string_view key;  // empty: `text` is shown as it is
    std::string_view text;
};

constexpr TypeName kTypeNames[] = {
    {"aac", "FILE_TYPE_AUDIO", "Audio"},
    {"mp3", "FILE_TYPE_AUDIO", "Audio"},
    {"aax", "FILE_TYPE_AUDIO", "Audio"},
    {"aiff", "FILE_TYPE_AUDIO", "Audio"},
    {"wav", "FILE_TYPE_AUDIO", "Audio"},
    {"m4v", "FILE_TYPE_VIDEO", "Video"},
    {"mp4", "FILE_TYPE_VIDEO", "Video"},
    {"mov", "FILE_TYPE_VIDEO", "Video"},
    {"avi", "FILE_TYPE_VIDEO", "Video"},
    {"jpg", "FILE_TYPE_IMAGE", "Image"},
    {"jpeg", "FILE_TYPE_IMAGE", "Image"},
    {"tiff", "FILE_TYPE_IMAGE", "Image"},
    {"gif", "FILE_TYPE_IMAGE", "Image"},
    {"png", "FILE_TYPE_IMAGE", "Image"},
    {"bmp", "FILE_TYPE_IMAGE", "Image"},
    {"doc", "", "Word"},
    {"docx", "", "Word"},
    {"htm", "", "Homepage"},
    {"html", "", "Homepage"},
    {"key", "", "Keynote"},
    {"numbers", "", "Numbers"},
    {"pages", "", "Pages"},
    {"pdf", "", "PDF"},
    {"ppt", "", "PowerPoint"},
    {"pptx", "", "PowerPoint"},
    {"txt", "", "Text"},
    {"rtf", "", "Text"},
    {"xls", "", "Excel"},
    {"xlsx", "", "Excel"},
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// First letter of every blank-separated word upper case, the rest lower case (ASCII letters).
std::string capitalised(std::string_view text) {
    std::string result;
    bool wordStart = true;
    for (char c : text) {
        result.push_back(wordStart ? upper(c) : lower(c));
        wordStart = isBlank(c);
    }
    return result;
}

}  // namespace

std::string FileTypes::pathExtension(std::string_view fileURL) {
    std::string_view path = fileURL.substr(0, fileURL.find('#'));
    path = path.substr(0, path.find('?'));
    if (const std::size_t scheme = path.find("://"); scheme != std::string_view::npos) {
        const std::size_t pathStart = path.find('/', scheme + 3);
        path = pathStart == std::string_view::npos ? std::string_view{} : path.substr(pathStart);
    }
    while (path.ends_with('/')) {
        path.remove_suffix(1);
    }
    const std::string_view name = path.substr(path.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    std::string extension;
    for (char c : name.substr(dot + 1)) {
        extension.push_back(lower(c));
    }
    return extension;
}

bool FileTypes::isPDFFile(std::string_view fileURL, std::string_view mimeType) {
    return pathExtension(fileURL) == "pdf" || mimeType == "application/pdf";
}

std::string FileTypes::getFileTypeString(std::string_view fileURL, const TextLookup& lookup) {
    const std::string extension = pathExtension(fileURL);
    if (extension.empty()) {
        return {};
    }
    for (const TypeName& type : kTypeNames) {
        if (type.extension != extension) {
            continue;
        }
        if (type.key.empty() || !lookup) {
            return std::string(type.text);
        }
        return lookup(type.key, type.text);
    }
    return capitalised(extension);
}

}  // namespace pagewell
