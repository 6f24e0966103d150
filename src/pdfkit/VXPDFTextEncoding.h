#pragma once
// The single-byte text encodings a font may name: none, Mac OS Roman, or Windows code page
// 1252. Tables come from ICU once per process and are immutable afterwards (thread-safe).

#include <cstdint>
#include <string_view>

namespace pagewell {

enum class VXPDFEncoding { None, MacOSRoman, WindowsLatin1 };

class VXPDFTextEncoding {
  public:
    // The character for a byte; for None the character with the byte's own code.
    static char16_t characterForByte(VXPDFEncoding encoding, std::uint8_t byte);
    // "MacRomanEncoding", "WinAnsiEncoding", or "none".
    static std::string_view displayName(VXPDFEncoding encoding);
};

}  // namespace pagewell
