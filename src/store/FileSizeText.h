#pragma once
// Sizes as the user reads them: one decimal and a binary unit ("1.5 KB"). Stateless.

#include <cstdint>
#include <optional>
#include <string>

namespace pagewell {

class FileSizeText {
  public:
    // The byte count divided by 1024 until it is below 1024, with one decimal and the unit
    // "bytes", "KB", "MB" or "GB"; from 1024 GB on, "extremely large". Rounding happens only
    // in the output, so 1,048,575 bytes read "1024.0 KB".
    static std::string stringFromFileSize(std::uint64_t bytes);

    // stringFromFileSize of a file's complete size; no file gives "0.0 bytes".
    static std::string stringForCompleteFilesize(std::optional<std::uint64_t> completeFileSize);
};

}  // namespace pagewell
