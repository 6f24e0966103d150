// Fonts from real font dictionaries: the class tree, widths of simple and composite fonts,
// descriptors, encodings, decoding through ToUnicode maps (one- and two-byte codes), the font
// manager with inherited resources, and the dictionary dump.

#include <gtest/gtest.h>

#include <string>

#include "PdfFixture.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFDictionaryDump.h"
#include "pdfkit/VXPDFFontManager.h"
#include "pdfkit/VXPDFType0Font.h"

namespace pagewell {
namespace {

using test::PdfFixture;
using test::PdfFixturePage;

// Makes fonts from PDF syntax inside one small document that stays open.
class FontFactory {
  public:
    // `build` may add streams to the fixture (ToUnicode maps) and returns the font's syntax.
    std::shared_ptr<const VXPDFFont> make(const std::string& fontSyntax) {
        PdfFixture fixture;
        fixture.addPage(PdfFixturePage{});
        fixture.setCatalogEntry("TestFont", fontSyntax);
        document_ = fixture.open();
        return VXPDFFont::fontWithDictionary(*document_->catalog().getDictionary("TestFont"));
    }
    // As make(), with a ToUnicode stream whose reference replaces "TOUNICODE" in the syntax.
    std::shared_ptr<const VXPDFFont> makeWithToUnicode(std::string fontSyntax,
                                                       const std::string& cmap) {
        PdfFixture fixture;
        fixture.addPage(PdfFixturePage{});
        std::string reference = fixture.addStream(cmap);
        fontSyntax.replace(fontSyntax.find("TOUNICODE"), 9, reference);
        fixture.setCatalogEntry("TestFont", fontSyntax);
        document_ = fixture.open();
        return VXPDFFont::fontWithDictionary(*document_->catalog().getDictionary("TestFont"));
    }

  private:
    std::shared_ptr<PdfDocumentHandle> document_;
};

std::string bfchars(const std::string& entries) {
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
           "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
           "1 beginbfchar\n" +
           entries + "\nendbfchar\nendcmap end end\n";
}

PdfString bytes(std::initializer_list<unsigned char> values) {
    return PdfString(std::string(values.begin(), values.end()));
}

TEST(VXPDFFontTest, FontWithDictionaryPicksTheClassBySubtype) {
    struct Case {
        const char* syntax;
        const char* className;  // nullptr: no font
    };
    const Case cases[] = {
        {"<< /Type /Font /Subtype /Type1 >>", "VXPDFType1Font"},
        {"<< /Type /Font /Subtype /MMType1 >>", "VXPDFMMType1Font"},
        {"<< /Type /Font /Subtype /Type3 >>", "VXPDFType3Font"},
        {"<< /Type /Font /Subtype /TrueType >>", "VXPDFTrueTypeFont"},
        {"<< /Type /Font /Subtype /Type0 >>", "VXPDFType0Font"},
        {"<< /Type /Font /Subtype /CIDFontType0 >>", "VXPDFCIDType0Font"},
        {"<< /Type /Font /Subtype /CIDFontType2 >>", "VXPDFCIDType2Font"},
        {"<< /Type /Font /Subtype /type1 >>", nullptr},  // names compare case-sensitively
        {"<< /Type /Font /Subtype /OpenType >>", nullptr},
        {"<< /Type /Font >>", nullptr},
        {"<< /Subtype /Type1 >>", nullptr},
        {"<< /Type /XObject /Subtype /Type1 >>", nullptr},
        {"<< /Type (Font) /Subtype /Type1 >>", nullptr},
    };
    FontFactory factory;
    for (const Case& each : cases) {
        auto font = factory.make(each.syntax);
        if (each.className == nullptr) {
            EXPECT_EQ(font, nullptr) << each.syntax;
        } else {
            ASSERT_NE(font, nullptr) << each.syntax;
            EXPECT_STREQ(font->className(), each.className);
        }
    }
}

TEST(VXPDFFontTest, SimpleFontWidthsComeFromWidthsAndFirstChar) {
    FontFactory factory;
    auto font = factory.make(
        "<< /Type /Font /Subtype /TrueType /FirstChar 32 /Widths [250 333.5 /x 500] "
        "/FontDescriptor << /Type /FontDescriptor /MissingWidth 100 >> >>");
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(32, 10), 2500);
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(33, 1), 333.5) << "real widths count";
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(34, 1), 100) << "a skipped entry has no width";
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(35, 2), 1000);
    EXPECT_DOUBLE_EQ(font->widthOfSpace(), 250);
    EXPECT_EQ(font->widthSource(), "Widths");

    auto noFirstChar = factory.make("<< /Type /Font /Subtype /Type1 /Widths [250] >>");
    EXPECT_TRUE(noFirstChar->widths().empty());
    EXPECT_EQ(noFirstChar->widthSource(), "none");
}

TEST(VXPDFFontTest, SimpleFontFallsBackToMissingThenAverageWidth) {
    FontFactory factory;
    auto average = factory.make(
        "<< /Type /Font /Subtype /Type1 /FontDescriptor << /Type /FontDescriptor "
        "/MissingWidth 0 /AvgWidth 480 >> >>");
    for (std::uint32_t code : {0u, 65u, 255u}) {
        EXPECT_DOUBLE_EQ(average->widthOfCharacter(code, 1), 480);
    }
    EXPECT_EQ(average->widthSource(), "descriptor");
    auto missing = factory.make(
        "<< /Type /Font /Subtype /Type1 /FontDescriptor << /Type /FontDescriptor "
        "/MissingWidth 300.5 /AvgWidth 480 >> >>");
    EXPECT_DOUBLE_EQ(missing->widthOfCharacter(65, 2), 601);
    EXPECT_DOUBLE_EQ(factory.make("<< /Type /Font /Subtype /Type1 >>")->widthOfCharacter(65, 12),
                     0);
}

TEST(VXPDFFontTest, CompositeWidthsWalkBothFormsOfW) {
    FontFactory factory;
    auto font = factory.make(
        "<< /Type /Font /Subtype /CIDFontType2 /W [1 [500 600] 10 12 250 20 [700 /x 800] "
        "30 31 2.5] >>");
    struct Case {
        std::uint32_t code;
        double width;
    };
    for (const Case& each :
         {Case{1, 500}, Case{2, 600}, Case{10, 250}, Case{11, 250}, Case{12, 250}, Case{20, 700},
          Case{22, 800}, Case{3, 1000}, Case{21, 1000}, Case{30, 1000}}) {
        EXPECT_DOUBLE_EQ(font->widthOfCharacter(each.code, 1), each.width) << each.code;
    }
    EXPECT_EQ(font->widthSource(), "W");
}

TEST(VXPDFFontTest, CompositeDefaultWidthIsDWEvenWithoutWElse1000) {
    FontFactory factory;
    auto withDW = factory.make("<< /Type /Font /Subtype /CIDFontType0 /DW 500 >>");
    EXPECT_DOUBLE_EQ(withDW->widthOfCharacter(0x4E00, 2), 1000);
    EXPECT_EQ(withDW->widthSource(), "DW");
    auto both = factory.make("<< /Type /Font /Subtype /CIDFontType0 /DW 400 /W [5 [600]] >>");
    EXPECT_DOUBLE_EQ(both->widthOfCharacter(5, 1), 600);
    EXPECT_DOUBLE_EQ(both->widthOfCharacter(6, 1), 400);
    auto neither = factory.make("<< /Type /Font /Subtype /CIDFontType2 >>");
    EXPECT_DOUBLE_EQ(neither->widthOfCharacter(300, 1), 1000);
    EXPECT_EQ(neither->widthSource(), "default");
}

TEST(VXPDFFontTest, DescriptorReadsRealNumbersAndItsOwnType) {
    FontFactory factory;
    auto font = factory.make(
        "<< /Type /Font /Subtype /Type1 /FontDescriptor << /Type /FontDescriptor "
        "/Ascent 718.5 /Descent -212.5 /CapHeight 700 /Flags 4 /ItalicAngle -12.25 "
        "/FontName /Helvetica /FontBBox [-10 -200 1000 900] >> >>");
    ASSERT_TRUE(font->fontDescriptor());
    EXPECT_DOUBLE_EQ(font->maxY(), 718.5);
    EXPECT_DOUBLE_EQ(font->minY(), -212.5);
    const auto& descriptor = *font->fontDescriptor();
    EXPECT_DOUBLE_EQ(descriptor.capHeight, 700);
    EXPECT_DOUBLE_EQ(descriptor.italicAngle, -12.25);
    EXPECT_EQ(descriptor.fontName, "Helvetica");
    EXPECT_EQ(descriptor.boundsRect, (PdfRect{-10, -200, 1000, 900})) << "kept as written";
    EXPECT_TRUE(descriptor.isSymbolic());

    auto nonSymbolic = factory.make(
        "<< /Type /Font /Subtype /Type1 /FontDescriptor << /Type /FontDescriptor /Flags 36 "
        "/FontBBox [1 2 3] >> >>");
    EXPECT_FALSE(nonSymbolic->fontDescriptor()->isSymbolic());
    EXPECT_EQ(nonSymbolic->fontDescriptor()->boundsRect, PdfRect{});

    auto untyped =
        factory.make("<< /Type /Font /Subtype /Type1 /FontDescriptor << /Ascent 700 >> >>");
    EXPECT_EQ(untyped->fontDescriptor(), nullptr);
    EXPECT_DOUBLE_EQ(untyped->maxY(), 0);
}

TEST(VXPDFFontTest, NamedEncodingsDecodeThroughTheirCodePageAndWinOverToUnicode) {
    FontFactory factory;
    // The map would turn every byte into "Z"; the standard encoding wins.
    auto win = factory.makeWithToUnicode(
        "<< /Type /Font /Subtype /TrueType /Encoding /WinAnsiEncoding /ToUnicode TOUNICODE >>",
        "1 beginbfrange <00> <FF> <005A> endbfrange");
    EXPECT_EQ(win->encoding(), VXPDFEncoding::WindowsLatin1);
    EXPECT_EQ(win->stringWithPDFString(bytes({'A', 0x80, 0xE9, 0x00})),
              std::u16string(u"A\u20AC\u00E9\0", 4));

    auto mac = factory.make(
        "<< /Type /Font /Subtype /Type1 /Encoding << /BaseEncoding /MacRomanEncoding "
        "/Differences [138 /Euro] >> >>");
    EXPECT_EQ(mac->encoding(), VXPDFEncoding::MacOSRoman);
    EXPECT_EQ(mac->stringWithPDFString(bytes({0x8A, 0xA5})), u"\u00E4\u2022")
        << "differences are not read";
    auto expert = factory.make("<< /Type /Font /Subtype /Type1 /Encoding /MacExpertEncoding >>");
    EXPECT_EQ(expert->encoding(), VXPDFEncoding::MacOSRoman);
    auto other = factory.make("<< /Type /Font /Subtype /Type1 /Encoding /StandardEncoding >>");
    EXPECT_EQ(other->encoding(), VXPDFEncoding::None);
    EXPECT_EQ(other->stringWithPDFString(PdfString("Hi")), u"Hi") << "bytes as characters";
}

TEST(VXPDFFontTest, SimpleFontsDecodeEachByteThroughToUnicode) {
    FontFactory factory;
    auto font = factory.makeWithToUnicode(
        "<< /Type /Font /Subtype /Type1 /ToUnicode TOUNICODE >>",
        bfchars("<01> <0048> <02> <0069> <03> <FB01> <04> <006600660069>"));
    ASSERT_NE(font->toUnicode(), nullptr);
    auto glyphs = font->glyphsWithPDFString(bytes({0x01, 0x02, 0x04, 0x00, 0x09}));
    ASSERT_EQ(glyphs.size(), 5u) << "simple fonts keep zero bytes";
    EXPECT_EQ(glyphs[2], (VXPDFGlyph{4, u"ffi"}));
    EXPECT_EQ(font->stringWithPDFString(bytes({0x01, 0x02, 0x04, 0x00})),
              std::u16string(u"Hiffi\0", 6))
        << "an unmapped code gives U+0000";
}

constexpr const char* kIdentityType0 =
    "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /Identity-H /ToUnicode TOUNICODE "
    "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType2 /DW 600 /W [258 [321]] "
    "/FontDescriptor << /Type /FontDescriptor /Ascent 880 /Descent -120.5 >> >> "
    "<< /Type /Font /Subtype /CIDFontType7 >>] >>";

TEST(VXPDFFontTest, IdentityType0FontsDecodeTwoByteCodes) {
    FontFactory factory;
    auto font = factory.makeWithToUnicode(kIdentityType0,
                                          bfchars("<0102> <0057> <0048> <0048> <0001> <0066>"));
    ASSERT_NE(font, nullptr);
    auto type0 = std::dynamic_pointer_cast<const VXPDFType0Font>(font);
    ASSERT_NE(type0, nullptr);
    ASSERT_EQ(type0->descendantFonts().size(), 1u) << "an unknown descendant is skipped";
    auto glyphs = font->glyphsWithPDFString(bytes({0x01, 0x02, 0x00, 0x48, 0x00, 0x01}));
    ASSERT_EQ(glyphs.size(), 3u);
    EXPECT_EQ(glyphs[0], (VXPDFGlyph{0x0102, u"W"})) << "a glyph id above 255";
    EXPECT_EQ(glyphs[1], (VXPDFGlyph{0x0048, u"H"}));
    EXPECT_EQ(font->stringWithPDFString(bytes({0x01, 0x02, 0x00, 0x48})), u"WH");
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(0x0102, 10), 3210) << "widths by the two-byte code";
    EXPECT_DOUBLE_EQ(font->widthOfCharacter(0x0103, 10), 6000);
    EXPECT_DOUBLE_EQ(font->minY(), -120.5) << "the first descendant's descriptor";
    EXPECT_DOUBLE_EQ(font->maxY(), 880);
    EXPECT_EQ(font->widthSource(), "W");
}

TEST(VXPDFFontTest, Type0WithoutTwoByteCodeSpaceSkipsZeroBytes) {
    FontFactory factory;
    auto font = factory.makeWithToUnicode(
        "<< /Type /Font /Subtype /Type0 /Encoding /SomeCMap /ToUnicode TOUNICODE >>",
        "1 beginbfchar <48> <0048> endbfchar");
    EXPECT_EQ(font->stringWithPDFString(bytes({0x00, 0x48})), u"H");
}

TEST(VXPDFFontTest, Type0WithEmbeddedEncodingCMapUsesItsCodeSpace) {
    PdfFixture fixture;
    fixture.addPage(PdfFixturePage{});
    std::string encoding =
        fixture.addStream("2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange",
                          "/Type /CMap /CMapName /Mixed");
    std::string toUnicode = fixture.addStream("2 beginbfchar <41> <0041> <8140> <3000> endbfchar");
    fixture.setCatalogEntry("TestFont", "<< /Type /Font /Subtype /Type0 /Encoding " + encoding +
                                            " /ToUnicode " + toUnicode + " >>");
    auto document = fixture.open();
    auto font = VXPDFFont::fontWithDictionary(*document->catalog().getDictionary("TestFont"));
    EXPECT_EQ(font->stringWithPDFString(bytes({0x41, 0x81, 0x40, 0x41})), u"A\u3000A");
}

TEST(VXPDFFontTest, LigaturesMapToTheirLetters) {
    const auto& ligatures = VXPDFFont::ligatures();
    EXPECT_EQ(ligatures.size(), 5u);
    EXPECT_EQ(ligatures.at(u'\uFB00'), u"ff");
    EXPECT_EQ(ligatures.at(u'\uFB01'), u"fi");
    EXPECT_EQ(ligatures.at(u'\uFB02'), u"fl");
    EXPECT_EQ(ligatures.at(u'\u00E6'), u"ae");
    EXPECT_EQ(ligatures.at(u'\u0153'), u"oe");
}

TEST(VXPDFFontTest, FontManagerTakesInheritedResourcesAndSkipsNonFonts) {
    PdfFixture fixture;
    fixture.setRootPagesEntries(
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> "
        "/F2 << /Type /Font /Subtype /Bogus >> /F3 42 >> >>");
    PdfFixturePage page("BT /F1 12 Tf (x) Tj ET");
    page.resources.clear();
    fixture.addPage(page);
    auto document = fixture.open();
    auto manager = VXPDFFontManager::withPage(*document->page(1));
    EXPECT_EQ(manager.fonts().size(), 1u);
    ASSERT_NE(manager.fontNamed("F1"), nullptr);
    EXPECT_EQ(manager.fontNamed("F1")->baseFont(), "Helvetica");
    EXPECT_EQ(manager.fontNamed("F2"), nullptr);
    EXPECT_EQ(manager.fontNamed("F9"), nullptr);
}

TEST(VXPDFFontTest, DictionaryDumpListsKeysWithTypes) {
    PdfFixture fixture;
    fixture.addPage(PdfFixturePage{});
    fixture.setCatalogEntry("Sample", "<< /A 1 /B 2.5 /C /N /D (s) /E [] /F << >> /G true >>");
    auto document = fixture.open();
    EXPECT_EQ(VXPDFDictionaryDump::describe(*document->catalog().getDictionary("Sample")),
              "===== PDFDictionary =====\n"
              "key: A \t type: Integer\nkey: B \t type: Real\nkey: C \t type: Name\n"
              "key: D \t type: String\nkey: E \t type: Array\nkey: F \t type: Dictionary\n"
              "key: G \t type: Bool\n"
              "=========================\n");
}

}  // namespace
}  // namespace pagewell
