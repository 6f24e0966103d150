#include "pdfkit/VXPDFDocument.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "PdfFixture.h"
#include "TestSupport.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/VXPDFPageDictForName.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "platform/NotificationCenter.h"

namespace pagewell {
namespace {

// Each test gets its own document and notification centre, and records what was posted.
class VXPDFDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NotificationCenter::setShared(nullptr);
        VXPDFDocument::setShared(std::make_shared<VXPDFDocument>());
        NotificationCenter::shared().addObserverForAllNames(
            [this](const Notification& notification) { posted.push_back(notification.name); });
    }
    void TearDown() override {
        VXPDFDocument::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
    }

    std::filesystem::path writeFixture(const std::string& name, int pages,
                                       std::optional<int> rotate = {}) {
        test::PdfFixture fixture;
        for (int i = 0; i < pages; ++i) {
            test::PdfFixturePage page;
            page.mediaBox = {0, 0, 600, 800};
            page.cropBox = PdfRect{50, 100, 600, 800};  // reaches past the media box
            page.rotate = rotate;
            fixture.addPage(page);
        }
        const auto path = directory.path() / name;
        fixture.write(path);
        return path;
    }

    // Opens `url`; returns the error, or nullopt when the completion was called.
    std::optional<Error> open(const std::optional<std::string>& url) {
        int completions = 0;
        int errors = 0;
        std::optional<Error> reported;
        VXPDFDocument::getInstance().openDocument(
            url, [&] { ++completions; },
            [&](const Error& error) {
                ++errors;
                reported = error;
            });
        EXPECT_EQ(completions + errors, 1);
        return reported;
    }

    TemporaryDirectory directory;
    std::vector<std::string> posted;
};

TEST_F(VXPDFDocumentTest, opensAFileURLAndRecordsPathNameAndPages) {
    const auto path = writeFixture("Spring brochure.pdf", 3);
    const std::string url = VXPDFDocument::fileURLForPath(path.string());
    EXPECT_NE(url.find("Spring%20brochure.pdf"), std::string::npos);

    EXPECT_FALSE(open(url).has_value());
    VXPDFDocument& document = VXPDFDocument::getInstance();
    EXPECT_TRUE(document.isOpen());
    EXPECT_EQ(document.getFilePath(), path.string());
    EXPECT_EQ(document.fileName(), "Spring brochure.pdf");
    EXPECT_EQ(document.getNumberOfPages(), 3);
    EXPECT_TRUE(document.getPage(1).has_value());
    EXPECT_TRUE(document.getPage(3).has_value());
    EXPECT_FALSE(document.getPage(0).has_value());
    EXPECT_FALSE(document.getPage(4).has_value());
    EXPECT_TRUE(document.getCatalog().has_value());
    EXPECT_EQ(document.getRenderingQuality(), 3);
    document.setRenderingQuality(1);
    EXPECT_EQ(document.getRenderingQuality(), 1);
}

TEST_F(VXPDFDocumentTest, reportsEachOpeningFailureWithItsText) {
    const auto notPdf = directory.path() / "notes.pdf";
    std::ofstream(notPdf) << "just some text, no PDF";
    struct Case {
        std::optional<std::string> url;
        std::string domain;
        std::string description;
    } cases[] = {
        {std::nullopt, "VXPDFDocument", "PDF url is nil"},
        {std::string(), "VXPDFDocument", "PDF url is nil"},
        // A remote file that was never downloaded.
        {"https://cms.example.com/files/42.pdf", "PDFOpenException",
         "Please download the PDF first and then try to open it"},
        {"/plain/path/without/scheme.pdf", "PDFOpenException",
         "Please download the PDF first and then try to open it"},
        {VXPDFDocument::fileURLForPath((directory.path() / "missing.pdf").string()),
         "VXPDFDocument", "PDFDocumentRef is nil"},
        {VXPDFDocument::fileURLForPath(notPdf.string()), "VXPDFDocument", "PDFDocumentRef is nil"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.value_or("(none)"));
        std::optional<Error> error = open(c.url);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, c.domain);
        EXPECT_EQ(error->code, -1);
        EXPECT_EQ(error->description, c.description);
        EXPECT_FALSE(VXPDFDocument::getInstance().isOpen());
        EXPECT_EQ(VXPDFDocument::getInstance().getNumberOfPages(), 0);
    }
}

TEST_F(VXPDFDocumentTest, closingDropsSearchHitsPostsTheEventAndReleasesTheDocument) {
    ASSERT_FALSE(open(VXPDFDocument::fileURLForPath(writeFixture("a.pdf", 2).string())));
    VXPDFDocument& document = VXPDFDocument::getInstance();
    auto selections = document.selectionManager();
    selections->addPDFSelections({VXPDFSelection(VXPDFRenderState{})}, 1);
    ASSERT_EQ(selections->getCount(), 1);
    posted.clear();

    document.closeDocument();
    EXPECT_EQ(selections->getCount(), 0);
    EXPECT_NE(document.selectionManager(), selections);  // a fresh one after closing
    EXPECT_EQ(posted, (std::vector<std::string>{kRemoveAllSelectionsEvent, "pdfClosedEvent"}));
    EXPECT_FALSE(document.isOpen());
    EXPECT_FALSE(document.getPage(1).has_value());

    // Closing again, or opening with nothing open, posts nothing more.
    posted.clear();
    document.closeDocument();
    EXPECT_TRUE(posted.empty());
}

TEST_F(VXPDFDocumentTest, openingAnotherDocumentClosesTheFirst) {
    ASSERT_FALSE(open(VXPDFDocument::fileURLForPath(writeFixture("a.pdf", 2).string())));
    posted.clear();
    ASSERT_FALSE(open(VXPDFDocument::fileURLForPath(writeFixture("b.pdf", 5).string())));
    EXPECT_EQ(posted, std::vector<std::string>{"pdfClosedEvent"});
    EXPECT_EQ(VXPDFDocument::getInstance().getNumberOfPages(), 5);
    EXPECT_EQ(VXPDFDocument::getInstance().fileName(), "b.pdf");
}

TEST_F(VXPDFDocumentTest, pageRectangleIsCropAndMediaIntersectedTurnedAndFitted) {
    // Crop box 50 100 600 800 within media 0 0 600 800 shows 550 × 700; /Rotate -90 turns it.
    ASSERT_FALSE(open(VXPDFDocument::fileURLForPath(writeFixture("r.pdf", 1, -90).string())));
    VXPDFDocument& document = VXPDFDocument::getInstance();
    EXPECT_EQ(document.getRectForPage(1), (PdfRect{50, 100, 700, 550}));
    const PdfRect fitted = document.getRectForPage(1, {0, 0, 350, 350});
    EXPECT_EQ(fitted.width, 350);
    EXPECT_EQ(fitted.height, 275);
    EXPECT_EQ(fitted.x, 0);
    EXPECT_EQ(fitted.y, 37.5);
    EXPECT_TRUE(document.getRectForPage(2).isEmpty());
}

TEST(VXPDFDocumentURL, turnsFileURLsIntoPaths) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"file:///tmp/a.pdf", "/tmp/a.pdf"},
        {"file://localhost/tmp/a.pdf", "/tmp/a.pdf"},
        {"file:///tmp/Price%20list%C3%A4.pdf", "/tmp/Price list\xC3\xA4.pdf"},
        {"file:///tmp/100%.pdf", "/tmp/100%.pdf"},
        {"http://host/a.pdf", std::nullopt},
        {"/tmp/a.pdf", std::nullopt},
    };
    for (const auto& [url, path] : cases) {
        EXPECT_EQ(VXPDFDocument::pathFromFileURL(url), path) << url;
    }
    // Round trip of a name with characters a URL cannot hold as they are.
    const std::string odd = "/tmp/a b#c?d%e\xC3\xA4.pdf";
    EXPECT_EQ(VXPDFDocument::pathFromFileURL(VXPDFDocument::fileURLForPath(odd)), odd);
}

// Named destinations: the root's own /Names, and /Kids with both value forms.
class NamedDestinationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) {
            fixture.addPage({});
        }
    }
    std::shared_ptr<PdfDocumentHandle> build(const std::string& destsTree) {
        fixture.setCatalogEntry("Names", "<< /Dests " + destsTree + " >>");
        return fixture.open();
    }
    std::string page(int number) { return fixture.pageReference(number); }

    test::PdfFixture fixture;
};

TEST_F(NamedDestinationTest, findsANameInTheRootNamesArray) {
    auto document = build("<< /Names [ (intro) [" + page(2) + " /Fit] (prices) [" + page(4) +
                          " /XYZ 0 0 0] ] >>");
    EXPECT_EQ(VXPDFPageDictForName::getPageNumberForName("prices", *document), 4);
    EXPECT_EQ(VXPDFPageDictForName::getPageNumberForName("intro", *document), 2);
    EXPECT_FALSE(VXPDFPageDictForName::getPageNumberForName("missing", *document));
    EXPECT_TRUE(VXPDFPageDictForName::getForName("intro", document->catalog()).has_value());
}

TEST_F(NamedDestinationTest, walksKidsDepthFirstWithBothValueFormsAndIgnoresLimits) {
    const std::string leafA = fixture.addObject("<< /Limits [(a) (b)] /Names [ (chapter1) << /D [" +
                                                page(2) + " /Fit] >> ] >>");
    // /Limits that lie: the name is found anyway.
    const std::string leafB =
        fixture.addObject("<< /Limits [(x) (y)] /Names [ (chapter2) [" + page(3) +
                          " /Fit] (chapter1) [" + page(4) + " /Fit] ] >>");
    const std::string middle = fixture.addObject("<< /Kids [" + leafA + "] >>");
    auto document = build("<< /Kids [" + middle + " " + leafB + "] >>");
    EXPECT_EQ(VXPDFPageDictForName::getPageNumberForName("chapter1", *document), 2);  // first hit
    EXPECT_EQ(VXPDFPageDictForName::getPageNumberForName("chapter2", *document), 3);
    EXPECT_FALSE(VXPDFPageDictForName::getPageNumberForName("chapter3", *document));
}

TEST_F(NamedDestinationTest, rootNamesNeedAnArrayValue) {
    // In the root's /Names a dictionary value is not a destination.
    auto document = build("<< /Names [ (intro) << /D [" + page(2) + " /Fit] >> ] >>");
    EXPECT_FALSE(VXPDFPageDictForName::getForName("intro", document->catalog()));
}

TEST(NamedDestinations, aCatalogWithoutDestsYieldsNothing) {
    test::PdfFixture plain;
    plain.addPage({});
    EXPECT_FALSE(VXPDFPageDictForName::getForName("x", plain.open()->catalog()));
}

}  // namespace
}  // namespace pagewell
