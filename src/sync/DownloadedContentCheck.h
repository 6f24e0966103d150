#pragma once
// Whether a finished download is the file that was asked for. A login portal, a proxy's error
// page or an API answer sent with status 200 on a file's address must not be stored as the
// document and marked downloaded: such an answer fails the download, and the previous copy
// stays. Only what can be judged is judged: a PDF must carry "%PDF-" within its first 1024
// bytes, a JPEG, PNG or GIF image must have a readable header, and any document of a known
// binary kind must not be a web page or JSON; text kinds and unknown kinds pass as they come.
// Stateless; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace pagewell {

class DownloadedContentCheck {
  public:
    // What a file is expected to hold, by its MIME type (when it says more than
    // "application/octet-stream") or else by its address's extension.
    enum class Expected {
        Unknown,  // nothing to judge by
        Text,     // web pages, JSON, XML, plain text: anything may come
        Pdf,
        Image,   // JPEG, PNG or GIF
        Binary,  // another document, image, audio or video kind
    };
    static Expected expectedFor(std::optional<std::string_view> mimeType, std::string_view url);

    enum class Finding {
        Ok,
        WebPage,   // an HTML page, by its content type or its first bytes
        Json,      // a JSON document, by its content type or its first bytes
        NotPdf,    // a PDF was expected; the bytes are something else
        NotImage,  // an image was expected; its header does not decode
    };
    // `contentType` as the server sent it (parameters allowed); `head` the answer's first
    // bytes (kHeadBytes, or more for an image whose header runs longer); `complete` whether
    // `head` is the whole answer.
    static Finding judge(Expected expected, std::string_view contentType, std::string_view head,
                         bool complete);
    // The same for a downloaded file on disk.
    static Finding judgeFile(Expected expected, std::string_view contentType,
                             const std::string& path);

    // The localisation key and English text that explain a finding.
    struct Explanation {
        const char* key;
        const char* fallback;
    };
    static Explanation explanationFor(Finding finding);

    // The PDF signature must appear within this many bytes, as readers demand.
    static constexpr std::size_t kHeadBytes = 1024;
    // A JPEG header may follow large metadata blocks; this much is read to find it.
    static constexpr std::size_t kImageHeadBytes = 1024 * 1024;
};

}  // namespace pagewell
