#include "cli/TerminalText.h"

#include <fmt/format.h>

#include "platform/Utf8.h"

namespace pagewell::cli {

namespace {

std::string escaped(std::string_view text, bool keepLines) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8::sequenceLength(text);
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
