#pragma once
// Checks a binary property list before it is parsed. The parser copies an object once for every
// reference to it, so a small hostile file whose objects refer to each other many times expands
// without bound, and a reference loop never ends. This check walks the file's own object table:
// header, trailer, offsets and references in range, no loops, nesting at most `maxDepth`, and
// the tree the parser would build stays under `maxNodes` nodes and `maxExpandedBytes` bytes.
// Stateless; safe from any thread.

#include <cstdint>
#include <string_view>

#include "platform/Error.h"

namespace pagewell {

class BinaryPlistCheck {
  public:
    struct Limits {
        std::uint64_t maxFileBytes = 256ull << 20;
        int maxDepth = 64;
        std::uint64_t maxNodes = 16'000'000;
        std::uint64_t maxExpandedBytes = 1ull << 30;
    };

    static bool looksBinary(std::string_view bytes);
    static Status check(std::string_view bytes, const Limits& limits);
    static Status check(std::string_view bytes) { return check(bytes, Limits{}); }

    static constexpr const char* kErrorDomain = "BinaryPlistCheckErrorDomain";
};

}  // namespace pagewell
