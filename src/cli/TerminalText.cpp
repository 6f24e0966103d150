#include "cli/TerminalText.h"

#include <fmt/format.h>

namespace pagewell::cli {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when it is not one.
std::size_t sequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const auto second = static_cast<unsigned char>(text[1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    }
    return length;
}

std::string escaped(std::string_view text, bool keepLines) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = sequenceLength(text);
        const auto first = static_cast<unsigned char>(text[0]);
        if (length == 0) {
            out += fmt::format("\\x{:02x}", first);
            text.remove_prefix(1);
            continue;
        }
        if (length == 1 && (first < 0x20 || first == 0x7F)) {
            if (keepLines && (first == '\n' || first == '\t')) {
                out.push_back(static_cast<char>(first));
            } else {
                out += fmt::format("\\x{:02x}", first);
            }
        } else if (length == 2 && first == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
            // U+0080 to U+009F: the C1 controls, among them the one-character CSI.
            out += fmt::format("\\u{:04x}", static_cast<unsigned char>(text[1]));
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace

std::string TerminalText::escape(std::string_view text) {
    return escaped(text, false);
}

std::string TerminalText::escapeKeepingLines(std::string_view text) {
    return escaped(text, true);
}

}  // namespace pagewell::cli
