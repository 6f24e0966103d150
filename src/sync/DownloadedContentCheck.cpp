#include "sync/DownloadedContentCheck.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <memory>

#include "store/FileTypes.h"

namespace pagewell {

namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// "text/html; charset=utf-8" gives "text/html".
std::string bareType(std::string_view contentType) {
    std::string_view type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back()))) {
        type.remove_suffix(1);
    }
    while (!type.empty() && std::isspace(static_cast<unsigned char>(type.front()))) {
        type.remove_prefix(1);
    }
    return lowered(type);
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isHtmlType(std::string_view type) {
    return type == "text/html" || type == "application/xhtml+xml";
}

bool isJsonType(std::string_view type) {
    return type == "application/json" || type == "text/json" || endsWith(type, "+json");
}

bool isTextType(std::string_view type) {
    return type.rfind("text/", 0) == 0 || isJsonType(type) || type == "application/xml" ||
           endsWith(type, "+xml") || type == "application/javascript" || type == "image/svg+xml";
}

bool isRasterImageType(std::string_view type) {
    return type == "image/jpeg" || type == "image/jpg" || type == "image/pjpeg" ||
           type == "image/png" || type == "image/gif";
}

template <std::size_t N>
bool among(std::string_view value, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

constexpr std::array<std::string_view, 4> kImageExtensions = {"jpg", "jpeg", "png", "gif"};
constexpr std::array<std::string_view, 14> kTextExtensions = {"html", "htm", "xhtml", "json", "xml",
                                                              "txt",  "csv", "svg",   "rtf",  "md",
                                                              "js",   "css", "vcf",   "ics"};
constexpr std::array<std::string_view, 34> kBinaryExtensions = {
    "doc", "docx", "xls", "xlsx", "ppt", "pptx", "pps",  "ppsx", "key", "pages", "numbers", "odt",
    "ods", "odp",  "zip", "epub", "mp4", "m4v",  "mov",  "avi",  "mkv", "webm",  "mp3",     "m4a",
    "wav", "aac",  "tif", "tiff", "bmp", "heic", "webp", "psd",  "dwg", "ibooks"};

// The first bytes after a byte-order mark and white space.
std::string_view content(std::string_view head) {
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
        head.remove_prefix(3);
    }
    while (!head.empty() && std::isspace(static_cast<unsigned char>(head.front()))) {
        head.remove_prefix(1);
    }
    return head;
}

bool looksLikeHtml(std::string_view head) {
    const std::string start = lowered(content(head).substr(0, 16));
    for (std::string_view tag :
         {"<!doctype html", "<html", "<head", "<body", "<script", "<meta", "<title", "<!--"}) {
        if (start.rfind(tag, 0) == 0) {
            return true;
        }
    }
    return false;
}

bool looksLikeJson(std::string_view head) {
    std::string_view start = content(head);
    return !start.empty() && (start.front() == '{' || start.front() == '[');
}

bool decodesAsJpegHeader(std::string_view head) {
    std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder) {
        return false;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    return tjDecompressHeader3(decoder.get(), reinterpret_cast<const unsigned char*>(head.data()),
                               static_cast<unsigned long>(head.size()), &width, &height,
                               &subsampling, &colorspace) == 0 &&
           width > 0 && height > 0;
}

bool isImage(std::string_view head, bool complete) {
    if (head.substr(0, 8) == "\x89PNG\r\n\x1a\n") {
        return true;
    }
    if (head.substr(0, 6) == "GIF87a" || head.substr(0, 6) == "GIF89a") {
        return true;
    }
    if (head.substr(0, 3) != "\xFF\xD8\xFF") {
        return false;
    }
    // A JPEG whose header lies beyond what was read cannot be judged: it passes.
    return decodesAsJpegHeader(head) || !complete;
}

DownloadedContentCheck::Finding whatElse(std::string_view head,
                                         DownloadedContentCheck::Finding otherwise) {
    if (looksLikeHtml(head)) {
        return DownloadedContentCheck::Finding::WebPage;
    }
    if (looksLikeJson(head)) {
        return DownloadedContentCheck::Finding::Json;
    }
    return otherwise;
}

}  // namespace

DownloadedContentCheck::Expected DownloadedContentCheck::expectedFor(
    std::optional<std::string_view> mimeType, std::string_view url) {
    const std::string type = mimeType ? bareType(*mimeType) : std::string();
    const std::string extension = FileTypes::pathExtension(url);
    if (type == "application/pdf") {
        return Expected::Pdf;
    }
    if (isRasterImageType(type)) {
        return Expected::Image;
    }
    if (!type.empty() && type != "application/octet-stream") {
        return isTextType(type) ? Expected::Text : Expected::Binary;
    }
    if (extension == "pdf") {
        return Expected::Pdf;
    }
    if (among(extension, kImageExtensions)) {
        return Expected::Image;
    }
    if (among(extension, kTextExtensions)) {
        return Expected::Text;
    }
    if (among(extension, kBinaryExtensions)) {
        return Expected::Binary;
    }
    return Expected::Unknown;
}

DownloadedContentCheck::Finding DownloadedContentCheck::judge(Expected expected,
                                                              std::string_view contentType,
                                                              std::string_view head,
                                                              bool complete) {
    if (expected == Expected::Unknown || expected == Expected::Text) {
        return Finding::Ok;
    }
    const std::string type = bareType(contentType);
    if (isHtmlType(type)) {
        return Finding::WebPage;
    }
    if (isJsonType(type)) {
        return Finding::Json;
    }
    switch (expected) {
        case Expected::Pdf:
            return head.substr(0, kHeadBytes).find("%PDF-") != std::string_view::npos
                       ? Finding::Ok
                       : whatElse(head, Finding::NotPdf);
        case Expected::Image:
            return isImage(head, complete) ? Finding::Ok : whatElse(head, Finding::NotImage);
        case Expected::Binary:
            return whatElse(head, Finding::Ok);
        case Expected::Unknown:
        case Expected::Text:
            break;
    }
    return Finding::Ok;
}

DownloadedContentCheck::Finding DownloadedContentCheck::judgeFile(Expected expected,
                                                                  std::string_view contentType,
                                                                  const std::string& path) {
    if (expected == Expected::Unknown || expected == Expected::Text) {
        return Finding::Ok;
    }
    const std::size_t wanted = expected == Expected::Image ? kImageHeadBytes : kHeadBytes;
    std::ifstream in(path, std::ios::binary);
    std::string head(wanted, '\0');
    in.read(head.data(), static_cast<std::streamsize>(wanted));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const bool complete = in.gcount() < static_cast<std::streamsize>(wanted) || in.peek() == EOF;
    return judge(expected, contentType, head, complete);
}

DownloadedContentCheck::Explanation DownloadedContentCheck::explanationFor(Finding finding) {
    switch (finding) {
        case Finding::WebPage:
            return {"DOWNLOAD_GOT_WEB_PAGE", "The server sent a web page instead of the file."};
        case Finding::Json:
            return {"DOWNLOAD_GOT_JSON", "The server sent JSON instead of the file."};
        case Finding::NotPdf:
            return {"DOWNLOAD_GOT_NO_PDF",
                    "The server sent something that is not a PDF document instead of the file."};
        case Finding::NotImage:
            return {"DOWNLOAD_GOT_NO_IMAGE",
                    "The server sent something that is not a readable image instead of the file."};
        case Finding::Ok:
            break;
    }
    return {"", ""};
}

}  // namespace pagewell
