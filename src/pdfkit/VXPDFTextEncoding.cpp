#include "pdfkit/VXPDFTextEncoding.h"

#include <unicode/ucnv.h>

#include <array>

namespace pagewell {

namespace {

using Table = std::array<char16_t, 256>;

// Converts every byte on its own so that a byte the code page leaves undefined maps to the
// replacement character without disturbing its neighbours.
Table makeTable(const char* converterName) {
    Table table{};
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(converterName, &status);
    for (int byte = 0; byte < 256; ++byte) {
        table[static_cast<std::size_t>(byte)] = static_cast<char16_t>(byte);
        if (U_FAILURE(status) || converter == nullptr)
            continue;
        char source = static_cast<char>(byte);
        UChar target[4] = {};
        UErrorCode convertStatus = U_ZERO_ERROR;
        int32_t length = ucnv_toUChars(converter, target, 4, &source, 1, &convertStatus);
        if (U_SUCCESS(convertStatus) && length >= 1) {
            table[static_cast<std::size_t>(byte)] = static_cast<char16_t>(target[0]);
        }
    }
    if (converter != nullptr)
        ucnv_close(converter);
    return table;
}

const Table& macRoman() {
    static const Table table = makeTable("macintosh");
    return table;
}

const Table& windows1252() {
    static const Table table = makeTable("windows-1252");
    return table;
}

}  // namespace

char16_t VXPDFTextEncoding::characterForByte(VXPDFEncoding encoding, std::uint8_t byte) {
    switch (encoding) {
        case VXPDFEncoding::MacOSRoman:
            return macRoman()[byte];
        case VXPDFEncoding::WindowsLatin1:
            return windows1252()[byte];
        case VXPDFEncoding::None:
            break;
    }
    return static_cast<char16_t>(byte);
}

std::string_view VXPDFTextEncoding::displayName(VXPDFEncoding encoding) {
    switch (encoding) {
        case VXPDFEncoding::MacOSRoman:
            return "MacRomanEncoding";
        case VXPDFEncoding::WindowsLatin1:
            return "WinAnsiEncoding";
        case VXPDFEncoding::None:
            break;
    }
    return "none";
}

}  // namespace pagewell
