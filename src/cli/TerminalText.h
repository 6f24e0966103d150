#pragma once
// Text from the server or the user made safe to print on a terminal: control characters
// (C0, DEL, C1 and so ESC, which starts colour changes, cursor moves and window-title changes)
// and bytes that are not UTF-8 are shown as visible escapes ("\x1b", "\u009b", "\xff") instead
// of being acted on. Valid UTF-8 text, including every printable non-ASCII letter, is kept.

#include <string>
#include <string_view>

namespace pagewell::cli {

class TerminalText {
  public:
    // For one field of a line (a title, a name, an error message): every control character is
    // escaped, line breaks and tabs too, so a value can never start a line of its own.
    static std::string escape(std::string_view text);
    // For text laid out in lines by the app (a command's whole output, an alert's message):
    // line breaks and tabs stay, every other control character is escaped.
    static std::string escapeKeepingLines(std::string_view text);
};

}  // namespace pagewell::cli
