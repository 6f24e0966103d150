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

}  // namespace
}  // namespace pagewell
