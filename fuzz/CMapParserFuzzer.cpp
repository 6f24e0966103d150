// Feeds arbitrary bytes to the character-map reader and looks codes up in what it read: no
// input may crash, hang or grow without bound.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdfkit/VXPDFCMap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    pagewell::VXPDFCMap map = pagewell::VXPDFCMap::initWithData(input);
    for (std::uint32_t code : {0u, 1u, 0x20u, 0x41u, 0xFFu, 0x100u, 0xFFFFu, 0xFFFFFFFFu}) {
        (void)map.characterWithCID(code);
        (void)map.textWithCID(code);
    }
    // Walk the input as a shown string through the declared code space.
    std::size_t position = 0;
    while (position < input.size()) {
        std::size_t length = map.codeLengthAt(input, position);
        position += length == 0 ? 1 : length;
    }
    return 0;
}
