#pragma once
// What kind of document a file is, judged from its server address and MIME type.
// Stateless; safe from any thread as long as the lookup passed in is.

#include <functional>
#include <string>
#include <string_view>

namespace pagewell {

class FileTypes {
  public:
    // Finds the display text for a localisation key; returns the fallback when the key has no
    // translation.
    using TextLookup = std::function<std::string(std::string_view key, std::string_view fallback)>;

    // The lower-cased extension of the last path component of a URL or path; a query, a
    // fragment and the scheme and host are not part of the path. A name starting with its
    // only dot (".profile") has no extension.
    static std::string pathExtension(std::string_view fileURL);

    // The extension is "pdf", or else the MIME type is exactly "application/pdf".
    static bool isPDFFile(std::string_view fileURL, std::string_view mimeType);

    // The display name of the file's type by its extension: audio, video and image kinds are
    // looked up as localised texts (without a lookup, the English fallback), the office and
    // web kinds are fixed names, any other extension is shown capitalised ("dwg" gives "Dwg").
    // A URL without extension gives the empty text.
    static std::string getFileTypeString(std::string_view fileURL,
                                         const TextLookup& lookup = nullptr);
};

}  // namespace pagewell
