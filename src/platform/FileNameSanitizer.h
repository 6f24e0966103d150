#pragma once
// Turns text from users or servers (titles, input file names) into one safe file name: a name
// built with it stays inside the directory it is joined to and names nothing special.
// ASCII letters, digits, '-', '_' and '.' are kept; every other byte (slashes, spaces,
// control characters, non-ASCII) becomes '_'; leading dots are dropped (no hidden files, no
// "." or ".."); the result is cut to kMaxLength bytes and is never empty.
// Stateless; safe from any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace pagewell {

class FileNameSanitizer {
  public:
    static constexpr std::size_t kMaxLength = 200;
    // The name used when nothing of the text can be kept.
    static constexpr const char* kFallbackName = "file";

    static std::string sanitizedFileName(std::string_view text);
};

}  // namespace pagewell
