#include "cli/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace pagewell::cli {
namespace {

TEST(TerminalTextTest, ControlCharactersAreShownNotActedOn) {
    struct Case {
        const char* name;
        std::string text;
        std::string field;  // escape()
        std::string lines;  // escapeKeepingLines()
    };
    const Case cases[] = {
        {"colour change", "\x1b[31mRed", "\\x1b[31mRed", "\\x1b[31mRed"},
        {"window title change",
         "\x1b]0;owned\x07"
         "Brochure",
         "\\x1b]0;owned\\x07Brochure", "\\x1b]0;owned\\x07Brochure"},
        {"C1 control sequence introducer",
         "a\xc2\x9b"
         "2Jb",
         "a\\u009b2Jb", "a\\u009b2Jb"},
        {"delete and carriage return", "ab\x7f\rc", "ab\\x7f\\x0dc", "ab\\x7f\\x0dc"},
        {"line breaks and tabs", "one\ntwo\tthree", "one\\x0atwo\\x09three", "one\ntwo\tthree"},
        {"bytes that are not UTF-8", "caf\xe9 \xc3", "caf\\xe9 \\xc3", "caf\\xe9 \\xc3"},
        {"letters, symbols and no-break space stay", "Prospekt – Größe ☕ 価格\xc2\xa0!",
         "Prospekt – Größe ☕ 価格\xc2\xa0!", "Prospekt – Größe ☕ 価格\xc2\xa0!"},
        {"empty", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TerminalText::escape(c.text), c.field);
        EXPECT_EQ(TerminalText::escapeKeepingLines(c.text), c.lines);
    }
}

}  // namespace
}  // namespace pagewell::cli
