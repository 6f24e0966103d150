#include "store/FileNames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pagewell {
namespace {

std::string utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The characters attachment names have always been made without.
const std::vector<char32_t> kRemoved = {
    0x002F, 0x005C, 0x003F, 0x0025, 0x002A, 0x007C, 0x0022, 0x003C, 0x003E, 0x0027, 0x007D, 0x007B,
    0x005D, 0x005B, 0x0040, 0x007E, 0x0023, 0x005E, 0x00BF, 0x2260, 0x00A2, 0x00B6, 0x201C, 0x00A1,
    0x00AB, 0x2211, 0x20AC, 0x00AE, 0x2020, 0x03A9, 0x00A8, 0x2044, 0x00F8, 0x03C0, 0x2022, 0x00B1,
    0x2018, 0x00E6, 0x0153, 0x2206, 0x00BA, 0x00AA, 0x00A9, 0x0192, 0x2202, 0x201A, 0x00E5, 0x2264,
    0x00A5, 0x2248, 0x00E7, 0x221A, 0x222B, 0x00B5, 0x221E, 0x2026, 0x2013, 0x00BB, 0x201E, 0x2030,
    0x00B8, 0x02DD, 0x02C7, 0x00C1, 0x00DB, 0x00D8, 0x220F, 0x00B0, 0xF8FF, 0x2019, 0x00C6, 0x0152,
    0xFB02, 0x02C6, 0x0131, 0x00D3, 0x00CC, 0x00CF, 0x2122, 0x00CD, 0x00C5, 0x2265, 0x2021, 0x00D9,
    0x00C7, 0x25CA, 0x2039, 0x203A, 0x02D8, 0x02DB, 0x00F7, 0x2014, 0x00AC, 0x201D, 0x00A3, 0xFB01,
    0x02DC, 0x00B7, 0x00AF, 0x02D9, 0x02DA};

TEST(FileNamesTest, EveryListedCharacterIsRemovedAndNothingAroundIt) {
    for (char32_t c : kRemoved) {
        SCOPED_TRACE(static_cast<unsigned>(c));
        EXPECT_EQ(FileNames::getFilename("a" + utf8(c) + "b" + utf8(c) + utf8(c)), "ab");
    }
}

TEST(FileNamesTest, NeighboursOfRemovedCharactersAreKept) {
    // Characters that share bytes or look like removed ones: the set works on whole code
    // points, so "Ä" (C3 84) survives while "Å" (C3 85) goes.
    const char32_t kept[] = {U'a',
                             U'Z',
                             U'0',
                             U' ',
                             U'.',
                             U'-',
                             U'_',
                             U':',
                             U'$',
                             U'&',
                             U'!',
                             U'(',
                             U'=',
                             U'+',
                             0x00C4 /* Ä */,
                             0x00E9 /* é */,
                             0x00FC /* ü */,
                             0x00DF /* ß */,
                             0x00D6 /* Ö */,
                             0x00DC /* Ü */,
                             0x00E4 /* ä */,
                             0x0130 /* İ */,
                             0x2015 /* ― */,
                             0x201B /* ‛ */,
                             0x4E2D /* 中 */,
                             0x1F4C4 /* 📄 */,
                             0x0009 /* tab */,
                             0x007F /* DEL */};
    for (char32_t c : kept) {
        SCOPED_TRACE(static_cast<unsigned>(c));
        const std::string text = "x" + utf8(c) + "y";
        EXPECT_EQ(FileNames::getFilename(text), text);
    }
}

TEST(FileNamesTest, TitlesBecomeNames) {
    const struct {
        const char* title;
        const char* name;
    } cases[] = {
        {"Price list 2024/25.pdf", "Price list 202425.pdf"},
        {"R&D \xE2\x80\x93 \xE2\x80\x9C"
         "Final\xE2\x80\x9D",
         "R&D  Final"},  // en dash, quotes
        {"50% off @ fair #3", "50 off  fair 3"},
        {"Caf\xC3\xA9 \xE2\x82\xAC"
         "5",
         "Caf\xC3\xA9 5"},  // "Café €5"
        {"..\\..\\boot.ini", "....boot.ini"},
        {".hidden", ".hidden"},  // leading dots are not this rule's business
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(FileNames::getFilename(c.title), c.name);
    }
}

TEST(FileNamesTest, InvalidUtf8BytesAreDropped) {
    const struct {
        std::string text;
        std::string expected;
        const char* why;
    } cases[] = {
        {"a\xFF"
         "b",
         "ab", "byte never valid"},
        {"a\xC3", "a", "sequence cut at the end"},
        {"a\xE2\x82"
         "b",
         "ab", "sequence cut in the middle"},
        {"\xC0\xAF", "", "overlong solidus"},
        {"\xE0\x80\xAF", "", "overlong solidus, three bytes"},
        {"\xED\xA0\x80", "", "surrogate"},
        {"\xF4\x90\x80\x80", "", "past U+10FFFF"},
        {"\x80"
         "a",
         "a", "stray continuation byte"},
        {std::string("a\0b", 3), std::string("a\0b", 3), "NUL is a character here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(FileNames::getFilename(c.text), c.expected);
    }
}

TEST(FileNamesTest, SafeNamesAreUsableFileNames) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"Price list 2024/25.pdf", "Price list 202425.pdf"},
        {"../../etc/passwd", "etcpasswd"},
        {"..", "file"},
        {".", "file"},
        {"...", "file"},
        {"", "file"},
        {"//", "file"},
        {".hidden", "hidden"},
        {". spaced", " spaced"},
        {"a.b.c", "a.b.c"},  // only leading dots go
        {"\x01\x1F"
         "name\x7F",
         "name"},
        {"line\nbreak\ttab", "linebreaktab"},
        {"a\xC2\x85"
         "b",
         "ab"},  // NEL, a C1 control
        {std::string("a\0b", 3), "ab"},
        {"\x01.x", "x"},  // dots after removed controls still lead
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FileNames::safeFileName(c.text), c.expected);
    }
}

TEST(FileNamesTest, SafeNamesAreCutOnACharacterBoundary) {
    std::string manyTwoByte;
    for (int i = 0; i < 300; ++i) {
        manyTwoByte += "\xC3\xA9";  // é
    }
    EXPECT_EQ(FileNames::safeFileName(manyTwoByte).size(), FileNames::kMaxSafeNameBytes);

    // One byte short of room for the last character: it is left out whole.
    const std::string nearlyFull = std::string(FileNames::kMaxSafeNameBytes - 1, 'a') + "\xC3\xA9";
    EXPECT_EQ(FileNames::safeFileName(nearlyFull),
              std::string(FileNames::kMaxSafeNameBytes - 1, 'a'));
}

}  // namespace
}  // namespace pagewell
