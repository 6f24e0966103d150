// Character maps: every bfchar and bfrange section, any layout, array and multi-unit
// destinations, code-space ranges, and robustness against damaged programs.

#include <gtest/gtest.h>

#include <string>

#include "pdfkit/VXPDFCMap.h"

namespace pagewell {
namespace {

constexpr const char* kHeader =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CMapName /Test def\n1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
constexpr const char* kFooter = "endcmap CMapName currentdict /CMap defineresource pop end end\n";

VXPDFCMap mapWith(const std::string& body) {
    return VXPDFCMap::initWithData(std::string(kHeader) + body + kFooter);
}

TEST(VXPDFCMapTest, ReadsEverySectionInAnyLayout) {
    // Two bfchar and two bfrange sections; several mappings on one line, tabs and no spaces
    // between tokens, a line break inside an entry.
    VXPDFCMap map = mapWith(
        "2 beginbfchar\n<0041> <0061>\t<0042><0062>\nendbfchar\n"
        "1 beginbfrange\n<0030> <0032> <0660>\nendbfrange\n"
        "2 beginbfchar\n<0043>\n<0063> <0044> <0064>\nendbfchar\n"
        "1 beginbfrange <0100><0102><0391> endbfrange\n");
    struct Case {
        std::uint32_t code;
        char16_t expected;
    };
    for (const Case& each : {Case{0x41, u'a'}, Case{0x42, u'b'}, Case{0x43, u'c'}, Case{0x44, u'd'},
                             Case{0x30, 0x0660}, Case{0x32, 0x0662}, Case{0x101, 0x0392},
                             Case{0x45, 0}, Case{0x33, 0}}) {
        EXPECT_EQ(map.characterWithCID(each.code), each.expected) << "code " << each.code;
    }
}

TEST(VXPDFCMapTest, MapsWithMoreThanAHundredEntriesSpanSeveralSections) {
    std::string body;
    for (int section = 0; section < 3; ++section) {
        body += "100 beginbfchar\n";
        for (int i = 0; i < 100; ++i) {
            int code = section * 100 + i;
            char line[32];
            std::snprintf(line, sizeof line, "<%04X> <%04X>\n", code, 0x4E00 + code);
            body += line;
        }
        body += "endbfchar\n";
    }
    VXPDFCMap map = mapWith(body);
    EXPECT_EQ(map.entryCount(), 300u);
    EXPECT_EQ(map.characterWithCID(0), 0x4E00);
    EXPECT_EQ(map.characterWithCID(299), 0x4E00 + 299);
}

TEST(VXPDFCMapTest, ArrayAndMultiUnitDestinationsGiveFullText) {
    VXPDFCMap map = mapWith(
        "2 beginbfchar\n<0041> <00660066> <0042> <006600660069>\nendbfchar\n"
        "1 beginbfrange\n<0010> <0012> [<0058> <00660069> <D835DC00>]\nendbfrange\n"
        "1 beginbfrange\n<0020> <0021> <00660066>\nendbfrange\n");
    EXPECT_EQ(map.textWithCID(0x41), u"ff");
    EXPECT_EQ(map.textWithCID(0x42), u"ffi") << "a ligature decodes to all its letters";
    EXPECT_EQ(map.characterWithCID(0x41), u'f') << "the single-unit look-up keeps the last unit";
    EXPECT_EQ(map.textWithCID(0x10), u"X");
    EXPECT_EQ(map.textWithCID(0x11), u"fi");
    EXPECT_EQ(map.textWithCID(0x12), std::u16string(u"\xD835\xDC00"));
    EXPECT_EQ(map.textWithCID(0x21), u"fg") << "the last unit counts up along a range";
    EXPECT_FALSE(map.textWithCID(0x13));
}

TEST(VXPDFCMapTest, BfcharEntriesComeBeforeRangesAndFirstEntryWins) {
    VXPDFCMap map = mapWith(
        "1 beginbfrange\n<0041> <0045> <0061>\nendbfrange\n"
        "2 beginbfchar\n<0043> <0058>\n<0043> <0059>\nendbfchar\n"
        "1 beginbfrange\n<0041> <0045> <0030>\nendbfrange\n");
    EXPECT_EQ(map.characterWithCID(0x43), u'X');
    EXPECT_EQ(map.characterWithCID(0x44), u'd');
}

TEST(VXPDFCMapTest, HugeRangesStayRangesInWrittenOrder) {
    VXPDFCMap map = mapWith(
        "1 beginbfrange\n<00000000> <7FFFFFFF> <0041>\n<00000000> <FFFFFFFF> <0061>\n"
        "endbfrange\n");
    EXPECT_EQ(map.characterWithCID(0), u'A');
    EXPECT_EQ(map.characterWithCID(1), u'B');
    EXPECT_EQ(map.characterWithCID(0x80000000u), u'a');
}

TEST(VXPDFCMapTest, CodeSpaceRangesGiveTheCodeLength) {
    VXPDFCMap map =
        VXPDFCMap::initWithData("2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange");
    ASSERT_EQ(map.codeSpaceRanges().size(), 2u);
    std::string bytes("\x41\x81\x40\xA0", 4);
    EXPECT_EQ(map.codeLengthAt(bytes, 0), 1u);
    EXPECT_EQ(map.codeLengthAt(bytes, 1), 2u);
    EXPECT_EQ(map.codeLengthAt(bytes, 3), 0u) << "0xA0 lies in no range";
}

TEST(VXPDFCMapTest, DamagedProgramsKeepWhatWasReadAndNeverFail) {
    const std::string cases[] = {
        "",
        "beginbfchar",
        "beginbfchar <0041> endbfchar",                   // a lone source code
        "beginbfchar <0041> /name <0042> <0062>",         // a name destination, no end marker
        "beginbfrange <0045> <0041> <0061> endbfrange",   // reversed range
        "beginbfrange <0041> <0042> [<0061> endbfrange",  // unclosed array
        "beginbfchar <0041 <0042> ) ( ((( >> << ] [ endbfchar",
        std::string("beginbfchar <00\x00\x01> <0061> endbfchar", 30),
        "beginbfchar <0102030405> <0061> endbfchar",  // five-byte code
    };
    for (const auto& data : cases) {
        VXPDFCMap map = VXPDFCMap::initWithData(data);
        (void)map.characterWithCID(0x41);
    }
    VXPDFCMap partial = VXPDFCMap::initWithData("beginbfchar <0041> /name <0042> <0062>");
    EXPECT_EQ(partial.characterWithCID(0x42), u'b') << "the section resynchronises";
    EXPECT_EQ(partial.characterWithCID(0x41), 0);
}

TEST(VXPDFCMapTest, TextThatIsNotUtf8GivesAnEmptyMap) {
    VXPDFCMap map = VXPDFCMap::initWithData("beginbfchar <0041> <0061> endbfchar % \xFF\xFE");
    EXPECT_TRUE(map.isEmpty());
}

}  // namespace
}  // namespace pagewell
