#include "pdfkit/PdfPageRenderer.h"

#include <gtest/gtest.h>

#include <fstream>

#include "PdfFixture.h"
#include "TestSupport.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/VXPDFPageView.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000;
constexpr std::uint32_t kOpaqueWhite = 0xFFFFFFFF;
constexpr std::uint32_t kTransparent = 0;

// A 200 × 100 page with a black 50 × 50 square in its lower-left corner.
class PdfPageRendererTest : public ::testing::Test {
  protected:
    struct Opened {
        std::shared_ptr<PdfDocumentHandle> document;
        std::shared_ptr<PdfPageRenderer> renderer;
    };

    Opened openPage(std::optional<int> rotate, PdfRect mediaBox = {0, 0, 200, 100}) {
        test::PdfFixture fixture;
        test::PdfFixturePage page;
        page.mediaBox = mediaBox;
        page.rotate = rotate;
        page.content = "0 0 0 rg " + std::to_string(mediaBox.x) + " " + std::to_string(mediaBox.y) +
                       " 50 50 re f";
        fixture.addPage(page);
        const auto path = directory.path() / ("page" + std::to_string(++count) + ".pdf");
        fixture.write(path);
        auto document = PdfDocumentHandle::createWithPath(path.string());
        auto renderer = PdfPageRenderer::open(path.string());
        EXPECT_TRUE(document.ok());
        EXPECT_TRUE(renderer.ok());
        return {document.value(), renderer.value()};
    }

    PdfPageImage draw(const Opened& opened, int width, int height, int extraRotation = 0,
                      int orientation = VXPDFTransform::kOrientationCentered) {
        auto page = opened.document->page(1);
        EXPECT_TRUE(page.has_value());
        auto image = PdfPageImage::create(width, height);
        EXPECT_TRUE(image.ok());
        const auto transform = VXPDFTransform::myPageGetDrawingTransform(
            PdfPageRenderer::visibleBox(*page), page->rotationAngle(),
            {0, 0, double(width), double(height)}, extraRotation, true, orientation);
        EXPECT_TRUE(opened.renderer->drawPage(*page, image.value(), transform, 3).ok());
        return std::move(image).value();
    }

    TemporaryDirectory directory;
    int count = 0;
};

TEST_F(PdfPageRendererTest, drawsTheBlackSquareWhereThePageHasIt) {
    const auto image = draw(openPage(std::nullopt), 200, 100);
    EXPECT_EQ(image.pixel(10, 90), kOpaqueBlack);  // lower left (rows grow downwards)
    EXPECT_EQ(image.pixel(40, 60), kOpaqueBlack);
    EXPECT_EQ(image.pixel(10, 10), kOpaqueWhite);   // upper left
    EXPECT_EQ(image.pixel(150, 90), kOpaqueWhite);  // lower right
}

// Where the square lands for each turn of the page (its /Rotate or the transform's own).
struct TurnCase {
    std::optional<int> pageRotation;
    int extraRotation;
    int width;
    int height;
    int blackX, blackY;  // a pixel inside the square
    int whiteX, whiteY;  // a pixel of the page outside it
};

class PdfPageRendererTurn : public PdfPageRendererTest,
                            public ::testing::WithParamInterface<TurnCase> {};

TEST_P(PdfPageRendererTurn, followsTheDrawingTransform) {
    const TurnCase& c = GetParam();
    const auto image = draw(openPage(c.pageRotation), c.width, c.height, c.extraRotation);
    EXPECT_EQ(image.pixel(c.blackX, c.blackY), kOpaqueBlack);
    EXPECT_EQ(image.pixel(c.whiteX, c.whiteY), kOpaqueWhite);
}

INSTANTIATE_TEST_SUITE_P(Turns, PdfPageRendererTurn,
                         ::testing::Values(
                             // Turned clockwise by 90 the lower-left corner goes to the top left.
                             TurnCase{90, 0, 100, 200, 10, 10, 90, 190},
                             TurnCase{-270, 0, 100, 200, 10, 10, 90, 190},
                             // By 180 to the top right.
                             TurnCase{180, 0, 200, 100, 190, 10, 10, 90},
                             // By 270 (or -90) to the bottom right.
                             TurnCase{-90, 0, 100, 200, 90, 190, 10, 10},
                             TurnCase{270, 0, 100, 200, 90, 190, 10, 10},
                             // The transform's extra rotation adds to the page's own.
                             TurnCase{std::nullopt, 180, 200, 100, 190, 10, 10, 90},
                             TurnCase{90, 90, 200, 100, 190, 10, 10, 90},
                             // Scaled down by 2: the square is 25 pixels wide.
                             TurnCase{std::nullopt, 0, 100, 50, 5, 45, 40, 45}));

TEST_F(PdfPageRendererTest, aBoxAwayFromTheOriginIsDrawnLikeAnyOther) {
    const auto image = draw(openPage(std::nullopt, {300, 400, 200, 100}), 200, 100);
    EXPECT_EQ(image.pixel(10, 90), kOpaqueBlack);
    EXPECT_EQ(image.pixel(150, 20), kOpaqueWhite);
}

TEST_F(PdfPageRendererTest, theOrientationCodePushesThePageInItsSlot) {
    const auto opened = openPage(std::nullopt);
    // A 400 × 100 slot leaves 200 points beside the page; outside the page stays transparent.
    const auto left = draw(opened, 400, 100, 0, VXPDFTransform::kOrientationLeft);
    EXPECT_EQ(left.pixel(10, 90), kOpaqueBlack);
    EXPECT_EQ(left.pixel(300, 50), kTransparent);
    const auto right = draw(opened, 400, 100, 0, VXPDFTransform::kOrientationRight);
    EXPECT_EQ(right.pixel(10, 90), kTransparent);
    EXPECT_EQ(right.pixel(210, 90), kOpaqueBlack);
    const auto centred = draw(opened, 400, 100, 0, VXPDFTransform::kOrientationCentered);
    EXPECT_EQ(centred.pixel(110, 90), kOpaqueBlack);
    EXPECT_EQ(centred.pixel(50, 50), kTransparent);
}

TEST_F(PdfPageRendererTest, drawsAPageViewAtItsFrameSize) {
    const auto opened = openPage(std::nullopt);
    VXPDFPageView view;
    view.pageNumber = 1;
    view.frame = {1000, 0, 400, 100};
    view.pdfOrientation = VXPDFTransform::kOrientationRight;
    auto image = opened.renderer->drawPageView(*opened.document->page(1), view, 3);
    ASSERT_TRUE(image.ok());
    EXPECT_EQ(image.value().width(), 400);
    EXPECT_EQ(image.value().height(), 100);
    EXPECT_EQ(image.value().pixel(210, 90), kOpaqueBlack);
}

TEST_F(PdfPageRendererTest, writesAPngThroughATemporaryFile) {
    const auto image = draw(openPage(std::nullopt), 200, 100);
    const auto path = directory.path() / "out.png";
    ASSERT_TRUE(image.writePng(path).ok());
    auto bytes = FileSystem::readFile(path);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes.value().substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(directory.path())) {
        ++files;
    }
    EXPECT_EQ(files, 2u);  // the fixture and the PNG: no temporary left behind

    EXPECT_FALSE(image.writePng(directory.path() / "missing" / "out.png").ok());
}

TEST_F(PdfPageRendererTest, refusesWhatItCannotDraw) {
    const auto notPdf = directory.path() / "notes.pdf";
    std::ofstream(notPdf) << "no PDF here";
    auto opened = PdfPageRenderer::open(notPdf.string());
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().domain, PdfPageRenderer::kErrorDomain);
    EXPECT_FALSE(PdfPageRenderer::open((directory.path() / "missing.pdf").string()).ok());

    EXPECT_FALSE(PdfPageImage::create(0, 10).ok());
    EXPECT_FALSE(PdfPageImage::create(10, 100000).ok());
}

// Type 3 fonts whose glyphs draw themselves would make the renderer recurse until memory runs
// out; such a page is refused before drawing. Each case: how a glyph reaches its own font.
TEST_F(PdfPageRendererTest, refusesAType3FontWhoseGlyphsDrawThemselvesAndDrawsOthers) {
    enum class Route { FontResources, Form, Pattern, None };
    struct Case {
        const char* name;
        Route route;
    };
    const Case cases[] = {
        {"the glyph shows the font through the font's own resources", Route::FontResources},
        {"the glyph draws a form that shows the font", Route::Form},
        {"the glyph is filled with a pattern that shows the font", Route::Pattern},
        {"the glyph only fills a square", Route::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::PdfFixture fixture;
        const std::string font = fixture.addObject("null");  // filled in below
        const std::string showFont = "BT /T3 1 Tf (a) Tj ET";
        const std::string fontDictionary = "/Font << /T3 " + font + " >>";
        std::string resources;
        std::string glyph = "1000 0 d0 0 0 750 750 re f";
        switch (c.route) {
            case Route::FontResources:
                resources = fontDictionary;
                glyph = "1000 0 d0 " + showFont;
                break;
            case Route::Form:
                resources = "/XObject << /Fm " +
                            fixture.addStream(showFont,
                                              "/Type /XObject /Subtype /Form /BBox [0 0 1000 "
                                              "1000] /Resources << " +
                                                  fontDictionary + " >>") +
                            " >>";
                glyph = "1000 0 d0 /Fm Do";
                break;
            case Route::Pattern:
                resources = "/Pattern << /P " +
                            fixture.addStream(showFont,
                                              "/Type /Pattern /PatternType 1 /PaintType 1 "
                                              "/TilingType 1 /BBox [0 0 10 10] /XStep 10 /YStep "
                                              "10 /Resources << " +
                                                  fontDictionary + " >>") +
                            " >>";
                glyph = "1000 0 d0 /Pattern cs /P scn 0 0 750 750 re f";
                break;
            case Route::None:
                break;
        }
        fixture.replaceObject(
            font,
            "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 750 750] /FontMatrix [.001 0 0 "
            ".001 0 0] /CharProcs << /a " +
                fixture.addStream(glyph) +
                " >> /Encoding << /Type /Encoding /Differences [97 /a] >> /FirstChar 97 "
                "/LastChar 97 /Widths [1000] /Resources << " +
                resources + " >> >>");
        test::PdfFixturePage page("0 0 0 rg BT /T3 50 Tf 10 10 Td (a) Tj ET");
        page.mediaBox = {0, 0, 100, 100};
        page.resources = "<< " + fontDictionary + " >>";
        fixture.addPage(page);
        const auto path = directory.path() / ("type3-" + std::to_string(++count) + ".pdf");
        fixture.write(path);

        auto document = PdfDocumentHandle::createWithPath(path.string());
        auto renderer = PdfPageRenderer::open(path.string());
        ASSERT_TRUE(document.ok());
        ASSERT_TRUE(renderer.ok());
        auto pdfPage = document.value()->page(1);
        ASSERT_TRUE(pdfPage.has_value());
        auto image = PdfPageImage::create(100, 100);
        ASSERT_TRUE(image.ok());
        const Status drawn = renderer.value()->drawPage(
            *pdfPage, image.value(),
            VXPDFTransform::myPageGetDrawingTransform({0, 0, 100, 100}, 0, {0, 0, 100, 100}, 0,
                                                      true, VXPDFTransform::kOrientationCentered),
            3);
        if (c.route == Route::None) {
            ASSERT_TRUE(drawn.ok()) << drawn.error().description;
            // The glyph's square covers 10..47.5 on both axes: black there, white beyond.
            EXPECT_EQ(image.value().pixel(30, 70), kOpaqueBlack);
            EXPECT_EQ(image.value().pixel(80, 20), kOpaqueWhite);
        } else {
            ASSERT_FALSE(drawn.ok());
            EXPECT_NE(drawn.error().description.find("Type 3 font whose glyphs draw themselves"),
                      std::string::npos)
                << drawn.error().description;
        }
    }
}

}  // namespace
}  // namespace pagewell
