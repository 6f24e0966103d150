#include "store/FileNames.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace pagewell {

namespace {

// Sorted for binary search.
constexpr auto kRemoved = [] {
    std::array<char32_t, 101> set = {
        // ASCII
        U'\u002F', U'\u005C', U'\u003F', U'\u0025', U'\u002A', U'\u007C', U'\u0022', U'\u003C',
        U'\u003E', U'\u0027', U'\u007D', U'\u007B', U'\u005D', U'\u005B', U'\u0040', U'\u007E',
        U'\u0023', U'\u005E',
        // Latin-1 and typographic symbols
        U'\u00BF', U'\u2260', U'\u00A2', U'\u00B6', U'\u201C', U'\u00A1', U'\u00AB', U'\u2211',
        U'\u20AC', U'\u00AE', U'\u2020', U'\u03A9', U'\u00A8', U'\u2044', U'\u00F8', U'\u03C0',
        U'\u2022', U'\u00B1', U'\u2018', U'\u00E6', U'\u0153', U'\u2206', U'\u00BA', U'\u00AA',
        U'\u00A9', U'\u0192', U'\u2202', U'\u201A', U'\u00E5', U'\u2264', U'\u00A5', U'\u2248',
        U'\u00E7', U'\u221A', U'\u222B', U'\u00B5', U'\u221E', U'\u2026', U'\u2013', U'\u00BB',
        U'\u201E', U'\u2030', U'\u00B8', U'\u02DD', U'\u02C7', U'\u00C1', U'\u00DB', U'\u00D8',
        U'\u220F', U'\u00B0', U'\uF8FF', U'\u2019', U'\u00C6', U'\u0152', U'\uFB02', U'\u02C6',
        U'\u0131', U'\u00D3', U'\u00CC', U'\u00CF', U'\u2122', U'\u00CD', U'\u00C5', U'\u2265',
        U'\u2021', U'\u00D9', U'\u00C7', U'\u25CA', U'\u2039', U'\u203A', U'\u02D8', U'\u02DB',
        U'\u00F7', U'\u2014', U'\u00AC', U'\u201D', U'\u00A3', U'\uFB01', U'\u02DC', U'\u00B7',
        U'\u00AF', U'\u02D9', U'\u02DA'};
    std::sort(set.begin(), set.end());
    return set;
}();

static_assert(std::adjacent_find(kRemoved.begin(), kRemoved.end()) == kRemoved.end(),
              "each removed character is listed once");

bool isRemoved(char32_t c) {
    return std::binary_search(kRemoved.begin(), kRemoved.end(), c);
}

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// One decoded character and the bytes it took in the input.
struct Character {
    char32_t codePoint;
    std::string_view bytes;
};

// Decodes well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF); every
// byte that does not start a well-formed sequence is skipped on its own.
std::vector<Character> decode(std::string_view text) {
    std::vector<Character> characters;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            value = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
            minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        valid =
            valid && value >= minimum && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
        if (!valid) {
            ++i;
            continue;
        }
        characters.push_back({value, text.substr(i, length)});
        i += length;
    }
    return characters;
}

}  // namespace

std::string FileNames::getFilename(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const Character& c : decode(text)) {
        if (!isRemoved(c.codePoint)) {
            result.append(c.bytes);
        }
    }
    return result;
}

std::string FileNames::safeFileName(std::string_view text) {
    const std::string kept = getFilename(text);
    std::string result;
    result.reserve(kept.size());
    for (const Character& c : decode(kept)) {
        if (isControl(c.codePoint) || (result.empty() && c.codePoint == U'.')) {
            continue;
        }
        if (result.size() + c.bytes.size() > kMaxSafeNameBytes) {
            break;
        }
        result.append(c.bytes);
    }
    return result.empty() ? std::string("file") : result;
}

}  // namespace pagewell
