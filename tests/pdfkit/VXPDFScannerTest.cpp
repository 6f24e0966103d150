// Page scans over small PDFs written by the tests: the operators' effect on the text state,
// hits and their rectangles, TJ gaps, ligatures, case, form XObjects and the work bound.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PdfFixture.h"
#include "SearchFixtures.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell {
namespace {

using test::PdfFixture;
using test::PdfFixturePage;

// One page with the search font as /F1 and the given content; scans it for `keyword`.
class PageScan {
  public:
    explicit PageScan(const std::string& content, const std::string& keyword = "zzz")
        : PageScan(content, keyword, [](PdfFixture&) { return std::string(); }) {}
    // `extraResources` adds entries to the page's resource dictionary.
    PageScan(const std::string& content, const std::string& keyword,
             const std::function<std::string(PdfFixture&)>& extraResources) {
        PdfFixture fixture;
        const std::string font = test::addSearchFont(fixture);
        const std::string extra = extraResources(fixture);
        fixture.addPage(
            test::searchPage(content, "<< /Font << /F1 " + font + " >> " + extra + " >>"));
        document_ = fixture.open();
        scanner.setKeyword(keyword);
        scanner.scanPage(*document_->page(1));
    }

    const VXPDFRenderState* state() const { return scanner.renderStateStack().topRenderState(); }
    const std::vector<VXPDFSelection>& hits() const { return scanner.selectionsArray(); }

    VXPDFScanner scanner;

  private:
    std::shared_ptr<PdfDocumentHandle> document_;
};

using Matrix = PdfAffineTransform;

struct OperatorCase {
    const char* why;
    std::string content;
    std::function<void(const VXPDFRenderState&)> check;
};

class OperatorTableTest : public testing::TestWithParam<OperatorCase> {};

TEST_P(OperatorTableTest, ChangesTheTextStateAsTheOperatorSays) {
    const OperatorCase& c = GetParam();
    PageScan scan(c.content);
    ASSERT_NE(scan.state(), nullptr) << c.why;
    SCOPED_TRACE(c.why);
    c.check(*scan.state());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, OperatorTableTest,
    testing::Values(
        OperatorCase{"BT resets text and line matrix", "1 2 3 4 5 6 Tm BT",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.textMatrix, Matrix::identity());
                         EXPECT_EQ(s.lineMatrix, Matrix::identity());
                     }},
        OperatorCase{"Tf sets font and size", "BT /F1 12 Tf",
                     [](const VXPDFRenderState& s) {
                         EXPECT_NE(s.font, nullptr);
                         EXPECT_EQ(s.fontName, "F1");
                         EXPECT_EQ(s.fontSize, 12);
                     }},
        OperatorCase{"Tf with an unknown name leaves no font", "BT /F1 12 Tf /F7 9 Tf",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.font, nullptr);
                         EXPECT_EQ(s.fontSize, 9);
                     }},
        OperatorCase{"spacing operators store their operand", "2 Tc 3 Tw 14 TL 90 Tz 5 Ts",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.characterSpacing, 2);
                         EXPECT_EQ(s.wordSpacing, 3);
                         EXPECT_EQ(s.leading, 14);
                         EXPECT_EQ(s.horizontalScaling, 90);
                         EXPECT_EQ(s.textRise, 5);
                     }},
        OperatorCase{"an operand of the wrong type changes nothing", "/F1 Tc 7 Tw (x) TL",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.characterSpacing, 0);
                         EXPECT_EQ(s.wordSpacing, 7);
                         EXPECT_EQ(s.leading, 0);
                     }},
        OperatorCase{"Tm sets text and line matrix", "BT 1 2 3 4 5 6 Tm",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.textMatrix, (Matrix{1, 2, 3, 4, 5, 6}));
                         EXPECT_EQ(s.lineMatrix, (Matrix{1, 2, 3, 4, 5, 6}));
                     }},
        OperatorCase{"Td moves the line in its own space", "BT 2 0 0 2 100 100 Tm 10 20 Td 1 1 Td",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.lineMatrix, (Matrix{2, 0, 0, 2, 122, 142}));
                         EXPECT_EQ(s.textMatrix, s.lineMatrix);
                     }},
        OperatorCase{"TD also sets the leading", "BT 10 -14 TD",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.leading, 14);
                         EXPECT_EQ(s.textMatrix, Matrix::translation(10, -14));
                     }},
        OperatorCase{
            "T* moves down by the leading", "BT 16 TL 0 100 Td T*",
            [](const VXPDFRenderState& s) { EXPECT_EQ(s.textMatrix, Matrix::translation(0, 84)); }},
        OperatorCase{"Tj advances by the glyph widths", "BT /F1 10 Tf 1 Tc (AB) Tj",
                     [](const VXPDFRenderState& s) {
                         EXPECT_DOUBLE_EQ(s.textMatrix.tx, 2 * (5 + 1));
                         EXPECT_EQ(s.lineMatrix, Matrix::identity());
                     }},
        OperatorCase{
            "the word spacing applies to code 32 only", "BT /F1 10 Tf 4 Tw (A ) Tj",
            [](const VXPDFRenderState& s) { EXPECT_DOUBLE_EQ(s.textMatrix.tx, 5 + 2.5 + 4); }},
        OperatorCase{"' goes to the next line, then shows", "BT 20 TL /F1 10 Tf (A) '",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.textMatrix, Matrix::translation(5, -20));
                     }},
        OperatorCase{"\" sets both spacings, then acts as '", "BT 20 TL /F1 10 Tf 3 1 (A) \"",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.wordSpacing, 3);
                         EXPECT_EQ(s.characterSpacing, 1);
                         EXPECT_EQ(s.textMatrix, Matrix::translation(6, -20));
                     }},
        OperatorCase{
            "TJ numbers move back by thousandths of the font size",
            "BT /F1 10 Tf [(A) -500 (B) 250] TJ",
            [](const VXPDFRenderState& s) { EXPECT_DOUBLE_EQ(s.textMatrix.tx, 5 + 5 + 5 - 2.5); }},
        OperatorCase{"cm puts the new matrix before the current one",
                     "2 0 0 2 0 0 cm 1 0 0 1 10 0 cm",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.ctm, (Matrix{2, 0, 0, 2, 20, 0}));
                     }},
        OperatorCase{"Q restores what q saved", "1 Tc q 5 Tc 2 0 0 2 0 0 cm Q",
                     [](const VXPDFRenderState& s) {
                         EXPECT_EQ(s.characterSpacing, 1);
                         EXPECT_EQ(s.ctm, Matrix::identity());
                     }}));

TEST(VXPDFScannerTest, AQThatPopsTheLastStateEndsThePage) {
    PageScan scan("Q BT /F1 10 Tf (hello) Tj ET", "hello");
    EXPECT_EQ(scan.scanner.renderStateStack().count(), 0u);
    EXPECT_TRUE(scan.hits().empty());
}

TEST(VXPDFScannerTest, HitRectangleIsInTheSpaceOfTheHitsTransform) {
    PageScan scan("2 0 0 2 0 0 cm BT /F1 10 Tf 1 0 0 1 100 700 Tm (say hello) Tj ET", "Hello");
    ASSERT_EQ(scan.hits().size(), 1u);
    const VXPDFSelection& hit = scan.hits()[0];
    // "say " is 3 × 5 + 2.5 wide; the text matrix at the hit, then the scaling cm.
    EXPECT_EQ(hit.transform(), (Matrix{2, 0, 0, 2, 2 * 117.5, 1400}));
    EXPECT_DOUBLE_EQ(hit.rect().x, 0);
    EXPECT_DOUBLE_EQ(hit.rect().y, -2.5);
    EXPECT_DOUBLE_EQ(hit.rect().width, 25);
    EXPECT_DOUBLE_EQ(hit.rect().height, 10);
    EXPECT_EQ(hit.pageRect(), (PdfRect{235, 1395, 50, 20}));
}

TEST(VXPDFScannerTest, FindsAKeywordAcrossStringsAndLines) {
    EXPECT_EQ(PageScan("BT /F1 10 Tf (Hel) Tj (lo) Tj ET", "hello").hits().size(), 1u);
    EXPECT_EQ(PageScan("BT /F1 10 Tf 12 TL (HEL) Tj T* (LO) Tj ET", "hello").hits().size(), 1u);
    EXPECT_EQ(PageScan("BT /F1 10 Tf (Hel) Tj ET BT /F1 10 Tf (lo) Tj ET", "hello").hits().size(),
              1u);
}

struct GapCase {
    const char* why;
    std::string array;
    std::size_t hits;
};

class TJGapTest : public testing::TestWithParam<GapCase> {};

TEST_P(TJGapTest, OnlyARealGapOfASpaceOrMoreResetsTheMatch) {
    const GapCase& c = GetParam();
    PageScan scan("BT /F1 10 Tf " + c.array + " TJ ET", "hello");
    EXPECT_EQ(scan.hits().size(), c.hits) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, TJGapTest,
    testing::Values(
        GapCase{"kerning keeps the match", "[(Hel) -20 (lo)]", 1},
        GapCase{"a real gap wider than the space (250) resets", "[(Hel) -300.5 (lo)]", 0},
        GapCase{"an integer gap never resets", "[(Hel) -300 (lo)]", 1},
        GapCase{"a real gap narrower than the space keeps the match", "[(Hel) -249.9 (lo)]", 1},
        GapCase{"exactly one space wide resets", "[(Hel) 250.2 (lo)]", 0}));

TEST(VXPDFScannerTest, TJHitSpansTheAdjustments) {
    PageScan scan("BT /F1 10 Tf [(Hel) -100 (lo)] TJ ET", "hello");
    ASSERT_EQ(scan.hits().size(), 1u);
    EXPECT_DOUBLE_EQ(scan.hits()[0].rect().width, 25 + 1);
}

TEST(VXPDFScannerTest, ResumesInsideAFailedPartialMatch) {
    PageScan aab("BT /F1 10 Tf (aaab) Tj ET", "aab");
    ASSERT_EQ(aab.hits().size(), 1u);
    EXPECT_DOUBLE_EQ(aab.hits()[0].transform().tx, 5) << "the hit starts at the second a";
    EXPECT_DOUBLE_EQ(aab.hits()[0].rect().width, 15);

    PageScan abab("BT /F1 10 Tf (abab) Tj ET", "ab");
    ASSERT_EQ(abab.hits().size(), 2u);
    EXPECT_DOUBLE_EQ(abab.hits()[1].transform().tx, 10);
}

TEST(VXPDFScannerTest, CaseInsensitiveBeyondAscii) {
    // Code page 1252: 0xDF is ß, 0xC4 is Ä, 0xE4 is ä.
    EXPECT_EQ(PageScan("BT /F1 10 Tf (STRA\\337E) Tj ET", "straße").hits().size(), 1u);
    EXPECT_EQ(PageScan("BT /F1 10 Tf (Stra\\337e) Tj ET", "STRAßE").hits().size(), 1u);
    EXPECT_EQ(PageScan("BT /F1 10 Tf (Stra\\337e) Tj ET", "STRASSE").hits().size(), 0u)
        << "full lower-casing keeps ß; only case folding would make it ss";
    EXPECT_EQ(PageScan("BT /F1 10 Tf (\\304RGER \\344rger) Tj ET", "Ärger").hits().size(), 2u);
}

class LigatureScan : public PageScan {
  public:
    LigatureScan(const std::string& text, const std::string& keyword)
        : PageScan("BT /L1 10 Tf (" + text + ") Tj ET", keyword, [](PdfFixture& fixture) {
              return "/Font << /L1 " + test::addLigatureFont(fixture) + " >>";
          }) {}
};

TEST(VXPDFScannerTest, LigaturesMatchTheirLettersAndHitsCoverTheWholeGlyph) {
    // \001 is the fi ligature, \002 the ffi ligature; both 600 wide, letters 500.
    struct Case {
        const char* text;
        const char* keyword;
        double startX;
        double width;
    } cases[] = {
        {"\\001nd", "fi", 0, 6},              // the ligature alone
        {"\\001nd", "find", 0, 6 + 10},       // the ligature and two letters
        {"\\001nd", "f", 0, 6},               // ends inside the ligature: the whole glyph
        {"o\\002ce", "off", 0, 5 + 6},        // begins before, ends inside the ligature
        {"o\\002ce", "ice", 5, 6 + 10},       // begins inside the ligature
        {"o\\002ce", "oﬃce", 0, 5 + 6 + 10},  // a keyword written with the ligature
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.keyword);
        LigatureScan scan(c.text, c.keyword);
        ASSERT_EQ(scan.hits().size(), 1u);
        EXPECT_DOUBLE_EQ(scan.hits()[0].transform().tx, c.startX);
        EXPECT_DOUBLE_EQ(scan.hits()[0].rect().width, c.width);
    }
    LigatureScan letters("office",
                         "o\xEF\xAC\x83"
                         "ce");
    EXPECT_EQ(letters.hits().size(), 1u) << "a ligature in the keyword finds the letters";
}

TEST(VXPDFScannerTest, SearchesFormXObjectsWithTheirMatrixAndOwnResources) {
    // The page has no fonts of its own: the text is only reachable through the form.
    PdfFixture fixture;
    const std::string font = test::addSearchFont(fixture);
    const std::string form =
        fixture.addStream("BT /F9 10 Tf (hello) Tj ET",
                          "/Type /XObject /Subtype /Form /BBox [0 0 100 100] "
                          "/Matrix [2 0 0 2 10 10] /Resources << /Font << /F9 " +
                              font + " >> >>");
    fixture.addPage(test::searchPage("q 1 0 0 1 50 50 cm /Fm1 Do Q (hello) Tj",
                                     "<< /XObject << /Fm1 " + form + " >> >>"));
    auto document = fixture.open();
    VXPDFScanner scanner;
    scanner.setKeyword("hello");
    scanner.scanPage(*document->page(1));
    ASSERT_EQ(scanner.selectionsArray().size(), 1u);
    EXPECT_EQ(scanner.selectionsArray()[0].transform(), (Matrix{2, 0, 0, 2, 60, 60}));
    EXPECT_DOUBLE_EQ(scanner.selectionsArray()[0].rect().width, 25);
    const VXPDFRenderState* after = scanner.renderStateStack().topRenderState();
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->ctm, Matrix::identity()) << "the form's state does not leak out";
    EXPECT_EQ(after->font, nullptr) << "the form's font does not leak out";
}

TEST(VXPDFScannerTest, AFormThatDrawsItselfIsCutOff) {
    PdfFixture fixture;
    const std::string font = test::addSearchFont(fixture);
    const std::string resources = fixture.addObject("<< >>");
    const std::string form = fixture.addStream(
        "BT /F1 10 Tf (hello) Tj ET /Fm1 Do",
        "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources " + resources);
    fixture.replaceObject(resources,
                          "<< /Font << /F1 " + font + " >> /XObject << /Fm1 " + form + " >> >>");
    fixture.addPage(test::searchPage("/Fm1 Do", resources));
    auto document = fixture.open();
    VXPDFScanner scanner;
    scanner.setKeyword("hello");
    scanner.scanPage(*document->page(1));
    EXPECT_EQ(scanner.selectionsArray().size(),
              static_cast<std::size_t>(VXPDFScanner::kMaxFormDepth));
}

TEST(VXPDFScannerTest, TheOperatorBudgetBoundsThePage) {
    std::string content = "BT /F1 10 Tf ";
    for (int i = 0; i < 200; ++i) {
        content += "(hello) Tj ";
    }
    PdfFixture fixture;
    const std::string font = test::addSearchFont(fixture);
    fixture.addPage(test::searchPage(content, "<< /Font << /F1 " + font + " >> >>"));
    auto document = fixture.open();

    VXPDFScanner unbounded;
    unbounded.setKeyword("hello");
    unbounded.scanPage(*document->page(1));
    EXPECT_EQ(unbounded.selectionsArray().size(), 200u);
    EXPECT_FALSE(unbounded.budgetExhausted());

    VXPDFScanner bounded;
    bounded.setKeyword("hello");
    bounded.setOperatorBudget(50);
    bounded.scanPage(*document->page(1));
    EXPECT_TRUE(bounded.budgetExhausted());
    EXPECT_EQ(bounded.selectionsArray().size(), 48u) << "BT and Tf, then one hit per Tj";
}

TEST(VXPDFScannerTest, StringObserverSeesDecodedTextWithFontNames) {
    PdfFixture fixture;
    const std::string font = test::addSearchFont(fixture);
    fixture.addPage(
        test::searchPage("BT /F1 10 Tf (Gr\\374\\337e) Tj [(a) 5 (b)] TJ /F2 9 Tf (gone) Tj ET",
                         "<< /Font << /F1 " + font + " >> >>"));
    auto document = fixture.open();
    std::vector<std::pair<std::string, std::string>> strings;
    VXPDFScanner scanner;
    scanner.setStringObserver([&](const std::string& name, std::string_view text) {
        strings.emplace_back(name, std::string(text));
    });
    scanner.scanPage(*document->page(1));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"F1", "Grüße"}, {"F1", "a"}, {"F1", "b"}};
    EXPECT_EQ(strings, expected) << "a resource without font shows nothing";
}

}  // namespace
}  // namespace pagewell
