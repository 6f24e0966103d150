#pragma once
// File names made from titles and other server or user text (mail attachments, exported
// PDFs). Stateless; safe from any thread. Text is UTF-8 and handled by code point; bytes that
// are not valid UTF-8 are dropped.

#include <string>
#include <string_view>

namespace pagewell {

class FileNames {
  public:
    // The text without any of a fixed set of characters: the path and shell-sensitive ASCII
    // marks / \ ? % * | " < > ' } { ] [ @ ~ # ^ and 83 Latin-1 and typographic symbols. The
    // set is kept exactly as attachment names have always been made, so names stay the same
    // from one version to the next; it lets control characters and leading dots through.
    static std::string getFilename(std::string_view text);

    // getFilename, then also without control characters (C0, DEL, C1) and leading dots, cut
    // to at most kMaxSafeNameBytes bytes on a character boundary (room is left for an
    // extension); an empty result becomes "file". Never ".", "..", empty or containing "/".
    static std::string safeFileName(std::string_view text);

    static constexpr std::size_t kMaxSafeNameBytes = 200;
};

}  // namespace pagewell
