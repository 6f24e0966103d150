// The object layer over the PDF library: typed getters with their failure rules, name-tree
// walks, inherited page attributes, and the content scanner's operator table and operand stack.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PdfFixture.h"
#include "TestSupport.h"
#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfContentScanner.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfNameTree.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfStream.h"

namespace pagewell {
namespace {

using test::PdfFixture;
using test::PdfFixturePage;

// A dictionary with one key of every type, reached through the catalog.
PdfDictionary sampleDictionary(PdfFixture& fixture, std::shared_ptr<PdfDocumentHandle>& keep) {
    std::string stream = fixture.addStream("stream bytes", "/Kind /Sample");
    fixture.setCatalogEntry("Sample",
                            "<< /Int 7 /Real 2.5 /Name /Helvetica /Str (abc) /Bool true "
                            "/Arr [1 2.5 /N (s) << /K 1 >>] /Dict << /K 1 >> /Null null "
                            "/Stream " +
                                stream + " >>");
    fixture.addPage(PdfFixturePage{});
    keep = fixture.open();
    return *keep->catalog().getDictionary("Sample");
}

TEST(PdfObjectTest, DictionaryGettersFailOnMissingKeyOrOtherType) {
    PdfFixture fixture;
    std::shared_ptr<PdfDocumentHandle> document;
    PdfDictionary sample = sampleDictionary(fixture, document);

    EXPECT_EQ(sample.getInteger("Int"), 7);
    EXPECT_FALSE(sample.getInteger("Real")) << "the integer getter fails on a real";
    EXPECT_EQ(sample.getNumber("Real"), 2.5);
    EXPECT_EQ(sample.getNumber("Int"), 7.0) << "the number getter takes integers";
    EXPECT_EQ(sample.getName("Name"), "Helvetica");
    EXPECT_FALSE(sample.getName("Str"));
    EXPECT_EQ(sample.getString("Str")->bytes(), "abc");
    EXPECT_FALSE(sample.getString("Name"));
    EXPECT_EQ(sample.getBoolean("Bool"), true);
    EXPECT_FALSE(sample.getBoolean("Int"));
    EXPECT_EQ(sample.getArray("Arr")->count(), 5u);
    EXPECT_FALSE(sample.getArray("Dict"));
    EXPECT_EQ(sample.getDictionary("Dict")->getInteger("K"), 1);
    EXPECT_FALSE(sample.getDictionary("Stream")) << "a stream is not a dictionary";
    EXPECT_FALSE(sample.getInteger("Missing"));
    EXPECT_FALSE(sample.getObject("Missing"));
    ASSERT_TRUE(sample.getStream("Stream"));
    EXPECT_EQ(sample.getStream("Stream")->copyData().value(), "stream bytes");
    EXPECT_EQ(sample.getStream("Stream")->dictionary().getName("Kind"), "Sample");
    EXPECT_FALSE(sample.getObject("Null")) << "a null value is an absent key";

    std::vector<std::string> seen;
    sample.applyFunction([&](const std::string& key, const PdfObject& value) {
        seen.push_back(key + ":" + pdfObjectTypeName(value.type()));
    });
    EXPECT_EQ(seen,
              (std::vector<std::string>{"Arr:Array", "Bool:Bool", "Dict:Dictionary", "Int:Integer",
                                        "Name:Name", "Real:Real", "Str:String", "Stream:Stream"}));
}

TEST(PdfObjectTest, ArrayGettersFailOutOfRangeOrOnOtherType) {
    PdfFixture fixture;
    std::shared_ptr<PdfDocumentHandle> document;
    PdfArray array = *sampleDictionary(fixture, document).getArray("Arr");

    EXPECT_EQ(array.getInteger(0), 1);
    EXPECT_EQ(array.getNumber(0), 1.0);
    EXPECT_FALSE(array.getInteger(1));
    EXPECT_EQ(array.getNumber(1), 2.5);
    EXPECT_EQ(array.getName(2), "N");
    EXPECT_EQ(array.getString(3)->bytes(), "s");
    EXPECT_EQ(array.getDictionary(4)->getInteger("K"), 1);
    EXPECT_FALSE(array.getDictionary(0));
    EXPECT_FALSE(array.getObject(5));
    EXPECT_FALSE(array.getNumber(99));
}

TEST(PdfObjectTest, TextStringsFollowPdfTextRules) {
    EXPECT_EQ(PdfString(std::string("\xFE\xFF\x00H\x00\xE9", 6)).copyTextString(), "H\xC3\xA9");
    EXPECT_EQ(PdfString("plain").copyTextString(), "plain");
    // PDFDocEncoding 0xA0 is the euro sign.
    EXPECT_EQ(PdfString("\xA0").copyTextString(), "\xE2\x82\xAC");
}

TEST(PdfObjectTest, NameTreeWalkFollowsKidsInOrderAndFindsByName) {
    PdfFixture fixture;
    fixture.addPage(PdfFixturePage{});
    std::string leafA = fixture.addObject("<< /Limits [(a) (b)] /Names [(a) 1 (b) 2] >>");
    std::string leafB =
        fixture.addObject("<< /Limits [(zz) (zz)] /Names [(c) 3 /NotAString (d) 4] >>");
    std::string middle = fixture.addObject("<< /Kids [" + leafB + "] >>");
    fixture.setCatalogEntry("Tree", "<< /Kids [" + leafA + " " + middle + "] >>");
    auto document = fixture.open();
    PdfDictionary root = *document->catalog().getDictionary("Tree");

    std::vector<std::string> names;
    PdfNameTree::walk(root, [&](const PdfString& name, const PdfObject& value) {
        names.push_back(name.bytes() + "=" + std::to_string(value.getInteger().value_or(-1)));
        return true;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"a=1", "b=2", "c=3", "d=4"}));
    // /Limits are not trusted: "c" lies outside the limits written on its leaf.
    EXPECT_EQ(PdfNameTree::find(root, "c")->getInteger(), 3);
    EXPECT_FALSE(PdfNameTree::find(root, "missing"));

    int visits = 0;
    PdfNameTree::walk(root, [&](const PdfString&, const PdfObject&) { return ++visits < 2; });
    EXPECT_EQ(visits, 2) << "returning false stops the walk";
}

TEST(PdfObjectTest, NameTreeWalkEndsOnLoops) {
    PdfFixture fixture;
    fixture.addPage(PdfFixturePage{});
    std::string leaf = fixture.addObject("<< /Names [(x) 1] >>");
    std::string parent = fixture.addObject("<< /Kids [" + leaf + "] >>");
    fixture.replaceObject(leaf, "<< /Names [(x) 1] /Kids [" + parent + "] >>");
    fixture.setCatalogEntry("Tree", parent);
    auto document = fixture.open();
    int visits = 0;
    PdfNameTree::walk(*document->catalog().getDictionary("Tree"),
                      [&](const PdfString&, const PdfObject&) { return ++visits < 100; });
    EXPECT_EQ(visits, 1);
}

TEST(PdfObjectTest, PageAttributesAreInheritedFromThePageTree) {
    PdfFixture fixture;
    fixture.setRootPagesEntries(
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 "
        "/BaseFont /Helvetica >> >> >> /Rotate 90");
    int node = fixture.addIntermediatePagesNode("/CropBox [10 20 110 220]");
    PdfFixturePage inheriting;
    inheriting.resources.clear();
    fixture.addPage(inheriting, node);
    PdfFixturePage own;
    own.resources = "<< /Font << /F2 << /Type /Font /Subtype /Type1 /BaseFont /Courier >> >> >>";
    own.rotate = -270;
    own.mediaBox = PdfRect{0, 0, 200, 300};
    fixture.addPage(own);
    auto document = fixture.open();
    ASSERT_EQ(document->numberOfPages(), 2);
    EXPECT_FALSE(document->page(0));
    EXPECT_FALSE(document->page(3));

    PdfPage first = *document->page(1);
    ASSERT_FALSE(first.dictionary().hasKey("Resources")) << "the fixture must keep them on /Pages";
    ASSERT_TRUE(first.resources());
    EXPECT_TRUE(first.resources()->getDictionary("Font")->hasKey("F1"));
    EXPECT_EQ(first.rotationAngle(), 90);
    EXPECT_EQ(first.boxRect(PdfBox::Crop), (PdfRect{10, 20, 100, 200}));
    EXPECT_EQ(first.boxRect(PdfBox::Media), (PdfRect{0, 0, 612, 792}));

    PdfPage second = *document->page(2);
    EXPECT_TRUE(second.resources()->getDictionary("Font")->hasKey("F2"));
    EXPECT_FALSE(second.resources()->getDictionary("Font")->hasKey("F1"));
    EXPECT_EQ(second.rotationAngle(), -270);
    EXPECT_EQ(second.boxRect(PdfBox::Crop), (PdfRect{0, 0, 200, 300}))
        << "crop falls back to media";
}

TEST(PdfObjectTest, DocumentsThatAreNoPdfFailToOpen) {
    EXPECT_FALSE(PdfDocumentHandle::createWithData("not a pdf at all", "junk").ok());
    EXPECT_FALSE(PdfDocumentHandle::createWithPath("/nonexistent/file.pdf").ok());
    TemporaryDirectory directory;
    PdfFixture fixture;
    fixture.addPage(PdfFixturePage("BT ET"));
    fixture.write(directory.path() / "one.pdf");
    auto opened = PdfDocumentHandle::createWithPath((directory.path() / "one.pdf").string());
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ(opened.value()->numberOfPages(), 1);
    EXPECT_EQ(opened.value()->page(1)->contentData().value(), "BT ET");
}

// Records what each operator callback could pop.
struct ScanLog {
    std::vector<std::string> lines;
};

TEST(PdfObjectTest, ScannerDispatchesOperatorsInOrderWithTheirOperands) {
    PdfOperatorTable table;
    ScanLog log;
    table.setCallback("Tf", [&](PdfContentScanner& scanner) {
        auto size = scanner.popNumber();
        auto name = scanner.popName();
        log.lines.push_back("Tf " + *name + " " + std::to_string(static_cast<int>(*size)));
    });
    table.setCallback("Tj", [&](PdfContentScanner& scanner) {
        log.lines.push_back("Tj " + scanner.popString()->bytes());
    });
    table.setCallback("TJ", [&](PdfContentScanner& scanner) {
        log.lines.push_back("TJ " + std::to_string(scanner.popArray()->count()));
    });
    table.setCallback("Td", [&](PdfContentScanner& scanner) {
        auto ty = scanner.popNumber();
        auto tx = scanner.popNumber();
        log.lines.push_back("Td " + std::to_string(*tx) + " " + std::to_string(*ty));
    });

    PdfFixture fixture;
    fixture.addPage(PdfFixturePage("BT /F1 12 Tf 1 2.5 Td (Hello) Tj [(a) -20 (b)] TJ 0 0 m ET"));
    auto document = fixture.open();
    PdfContentScanner scanner(table);
    ASSERT_TRUE(scanner.scan(*document->page(1)));
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"Tf F1 12", "Td 1.000000 2.500000", "Tj Hello", "TJ 3"}));
}

TEST(PdfObjectTest, PopsFailOnEmptyStackAndOnOtherTypeWithoutLosingTheOperand) {
    PdfOperatorTable table;
    std::vector<std::string> results;
    table.setCallback("op", [&](PdfContentScanner& scanner) {
        results.push_back(scanner.popName() ? "name" : "no name");        // top is 7: fails
        results.push_back(scanner.popInteger() ? "int" : "no int");       // 7
        results.push_back(scanner.popInteger() ? "int" : "no int");       // 2.5 is a real
        results.push_back(scanner.popNumber() ? "number" : "no number");  // 2.5
        results.push_back(scanner.popString() ? "string" : "no string");  // (s)
        results.push_back(scanner.popArray() ? "array" : "no array");     // /N is a name
        results.push_back(scanner.popName().value_or("?"));               // N
        results.push_back(scanner.popDictionary() ? "dict" : "no dict");  // empty
        results.push_back(scanner.popNumber() ? "number" : "no number");  // empty
        results.push_back(std::to_string(scanner.operandCount()));
    });
    table.setCallback("count", [&](PdfContentScanner& scanner) {
        results.push_back("count " + std::to_string(scanner.operandCount()));
    });
    PdfContentScanner scanner(table);
    ASSERT_TRUE(scanner.scanData("/N (s) 2.5 7 op count 1 2 count"));
    EXPECT_EQ(results,
              (std::vector<std::string>{"no name", "int", "no int", "number", "string", "no array",
                                        "N", "no dict", "no number", "0", "count 0", "count 2"}));
}

TEST(PdfObjectTest, StopEndsTheScanAfterTheCurrentOperator) {
    PdfOperatorTable table;
    int calls = 0;
    table.setCallback("x", [&](PdfContentScanner& scanner) {
        if (++calls == 2)
            scanner.stop();
    });
    PdfContentScanner scanner(table);
    scanner.scanData("x x x x");
    EXPECT_EQ(calls, 2);
    calls = 0;
    scanner.scanData("x");  // a new scan starts unstopped
    EXPECT_EQ(calls, 1);
}

TEST(PdfObjectTest, FormXObjectStreamsCanBeScanned) {
    PdfFixture fixture;
    std::string form =
        fixture.addStream("(inside) Tj", "/Type /XObject /Subtype /Form /BBox [0 0 10 10]");
    PdfFixturePage page("/X1 Do");
    page.resources = "<< /XObject << /X1 " + form + " >> >>";
    fixture.addPage(page);
    auto document = fixture.open();
    PdfOperatorTable table;
    std::string shown;
    table.setCallback("Tj",
                      [&](PdfContentScanner& scanner) { shown = scanner.popString()->bytes(); });
    PdfContentScanner scanner(table);
    auto stream = document->page(1)->resources()->getDictionary("XObject")->getStream("X1");
    ASSERT_TRUE(stream);
    ASSERT_TRUE(scanner.scan(*stream));
    EXPECT_EQ(shown, "inside");
}

}  // namespace
}  // namespace pagewell
