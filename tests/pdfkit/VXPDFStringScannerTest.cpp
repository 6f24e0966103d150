// The keyword matcher on decoded text, without fonts: which glyphs each hit covers.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "pdfkit/VXPDFStringScanner.h"

namespace pagewell {
namespace {

// A hit as the first and last glyph it covers (glyphs numbered from 0 over all segments).
using Hit = std::pair<std::uint64_t, std::uint64_t>;

class RecordingDelegate : public VXPDFStringScannerDelegate {
  public:
    void scannerDidStartMatchingString(VXPDFStringScanner& scanner, std::uint64_t glyph) override {
        EXPECT_EQ(glyph, scanner.glyphCount()) << "a start is announced for the current glyph";
        starts.push_back(glyph);
    }
    void scannerDidScanCharacter(VXPDFStringScanner&, unsigned code) override {
        codes.push_back(code);
    }
    void scannerFoundString(VXPDFStringScanner& scanner, std::uint64_t firstGlyph) override {
        // The start must have been announced, or the page scanner would have no state for it.
        EXPECT_NE(std::find(starts.begin(), starts.end(), firstGlyph), starts.end());
        EXPECT_GE(firstGlyph, lastHitEnd) << "hits do not overlap";
        hits.emplace_back(firstGlyph, scanner.glyphCount());
        lastHitEnd = scanner.glyphCount();
    }

    std::vector<std::uint64_t> starts;
    std::vector<unsigned> codes;
    std::vector<Hit> hits;
    std::uint64_t lastHitEnd = 0;
};

// Shows each segment as one string whose codes are 1, 2, 3, ... per glyph.
std::vector<Hit> findAll(const std::string& keyword, const std::vector<std::u16string>& segments,
                         bool resetBetweenSegments = false) {
    RecordingDelegate delegate;
    VXPDFStringScanner scanner(keyword, &delegate);
    for (const auto& segment : segments) {
        std::vector<unsigned> codes(segment.size());
        for (std::size_t i = 0; i < codes.size(); ++i) {
            codes[i] = static_cast<unsigned>(i + 1);
        }
        scanner.appendDecodedText(segment, codes);
        if (resetBetweenSegments) {
            scanner.reset();
        }
    }
    return delegate.hits;
}

struct MatchCase {
    const char* why;
    std::string keyword;
    std::vector<std::u16string> segments;
    std::vector<Hit> expected;
};

class StringScannerMatchTest : public testing::TestWithParam<MatchCase> {};

TEST_P(StringScannerMatchTest, FindsTheExpectedGlyphRanges) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(findAll(c.keyword, c.segments), c.expected) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringScannerMatchTest,
    testing::Values(
        MatchCase{"a keyword split over two strings", "hello", {u"Hel", u"lo"}, {{0, 4}}},
        MatchCase{"case-insensitive on both sides", "HeLLo", {u"HEL", u"LO world"}, {{0, 4}}},
        MatchCase{"after a mismatch the match resumes inside the failed partial match",
                  "aab",
                  {u"aaab"},
                  {{1, 3}}},
        MatchCase{"every occurrence, also after long partial matches",
                  "abac",
                  {u"ababac abaabac"},
                  {{2, 5}, {10, 13}}},
        MatchCase{"non-overlapping repeated hits", "ab", {u"abab"}, {{0, 1}, {2, 3}}},
        MatchCase{"overlapping candidates give one hit each, in order",
                  "aa",
                  {u"aaaa"},
                  {{0, 1}, {2, 3}}},
        MatchCase{"the fi ligature is found for fi", "fi", {u"\uFB01nd"}, {{0, 0}}},
        MatchCase{"the fi ligature is found for find", "find", {u"\uFB01nd"}, {{0, 2}}},
        MatchCase{"a hit may end inside a ligature", "f", {u"\uFB01nd"}, {{0, 0}}},
        MatchCase{"a hit may begin and end inside a ligature", "off", {u"o\uFB03ce"}, {{0, 1}}},
        MatchCase{"a hit may begin inside a ligature", "ice", {u"o\uFB03ce"}, {{1, 3}}},
        MatchCase{"a keyword written with a ligature finds the letters",
                  "\xEF\xAC\x81nd",
                  {u"find"},
                  {{0, 3}}},
        MatchCase{"ae and oe ligatures, upper case included", "caesar", {u"C\u00C6SAR"}, {{0, 4}}},
        MatchCase{"sharp s against itself",
                  "STRA\xC3\x9F"
                  "E",
                  {u"stra\u00DFe"},
                  {{0, 5}}},
        MatchCase{"lower-casing does not turn sharp s into ss", "STRASSE", {u"stra\u00DFe"}, {}},
        MatchCase{"non-ASCII capitals", "\xC3\xA4rger", {u"\u00C4RGER"}, {{0, 4}}},
        MatchCase{"dotted capital I lower-cases to two letters, glyphs stay aligned",
                  "stanbul",
                  {u"\u0130STANBUL"},
                  {{1, 7}}},
        MatchCase{"spaces match only shown spaces", "a b", {u"ab a b"}, {{3, 5}}},
        MatchCase{"no diacritic folding", "cafe", {u"caf\u00E9"}, {}},
        MatchCase{"an empty keyword finds nothing", "", {u"anything"}, {}}));

TEST(StringScannerTest, ResetForgetsAPartialMatch) {
    EXPECT_TRUE(findAll("hello", {u"Hel", u"lo"}, /*resetBetweenSegments=*/true).empty());
    EXPECT_EQ(findAll("lo", {u"Hel", u"lo"}, true), (std::vector<Hit>{{3, 4}}));
}

TEST(StringScannerTest, AdvancesEveryGlyphByItsRawCodeAndNotPastTheCodes) {
    RecordingDelegate delegate;
    VXPDFStringScanner scanner("zz", &delegate);
    const std::vector<unsigned> codes = {72, 105};
    scanner.appendDecodedText(u"Hi!", codes);  // three glyphs, two codes
    EXPECT_EQ(delegate.codes, (std::vector<unsigned>{72, 105}));
    EXPECT_EQ(scanner.glyphCount(), 3u);
    EXPECT_TRUE(delegate.starts.empty()) << "nothing could begin a hit";
}

TEST(StringScannerTest, KeywordIsLowerCasedWithLigaturesExpanded) {
    VXPDFStringScanner scanner(
        "\xEF\xAC\x83"
        "CE \xC3\x84");  // ﬃCE Ä
    EXPECT_EQ(scanner.keyword(), u"ffice \u00E4");
}

TEST(StringScannerTest, KeepsOnlyTheStatesAFutureHitCanStartAt) {
    RecordingDelegate delegate;
    VXPDFStringScanner scanner("aab", &delegate);
    const std::vector<unsigned> codes = {1, 1, 1};
    scanner.appendDecodedText(u"aaa", codes);
    // "aa" of glyphs 1 and 2 may still become "aab": glyph 0 can no longer start a hit.
    EXPECT_EQ(scanner.earliestPossibleStart(), 1u);
    EXPECT_EQ(scanner.position(), 2u);
}

}  // namespace
}  // namespace pagewell
