#include "pdfkit/VXPDFLayout.h"

#include <gtest/gtest.h>

#include <functional>

#include "pdfkit/VXPDFDoublePageLayout.h"
#include "pdfkit/VXPDFFirstSinglePageLayout.h"
#include "pdfkit/VXPDFSinglePageLayout.h"

namespace pagewell {
namespace {

using Orientation = VXPDFInterfaceOrientation;
constexpr PdfSize kStrip{1000, 700};
constexpr double kFull = 1000;
constexpr double kHalf = 500;

// What a layout decides for one page in one orientation.
struct PageCase {
    const char* layout;
    Orientation orientation;
    int page;
    double width;
    int code;
    double maxZoom;  // the page view's range is 1.0 to maxZoom; 0: left as the view had it
    int corrected;
};

std::unique_ptr<VXPDFLayout> makeLayout(const std::string& name) {
    if (name == "single")
        return VXPDFSinglePageLayout::layout();
    if (name == "double")
        return VXPDFDoublePageLayout::layout();
    if (name == "cover")
        return VXPDFFirstSinglePageLayout::layout();
    return VXPDFLayout::layout();
}

class LayoutPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(LayoutPage, decidesWidthOrientationZoomAndRotationCorrection) {
    const PageCase& c = GetParam();
    const auto layout = makeLayout(c.layout);
    EXPECT_EQ(layout->pageWidthForOrientation(c.orientation, kStrip, c.page), c.width);

    VXPDFPageView view;
    view.pageNumber = c.page;
    view.setZoomRange(1.0, 3.0);  // a range no layout sets, to see whether it is left alone
    layout->configureRenderview(view, c.orientation);
    EXPECT_EQ(view.pdfOrientation, c.code);
    EXPECT_EQ(view.minimumZoomScale, 1.0);
    EXPECT_EQ(view.maximumZoomScale, c.maxZoom == 0 ? 3.0 : c.maxZoom);

    EXPECT_EQ(layout->willAnimateRotationPageCorrection(c.page, c.orientation), c.corrected);
}

constexpr auto P = Orientation::Portrait;
constexpr auto U = Orientation::PortraitUpsideDown;
constexpr auto L = Orientation::LandscapeLeft;
constexpr auto R = Orientation::LandscapeRight;

INSTANTIATE_TEST_SUITE_P(
    Plain, LayoutPage,
    ::testing::Values(
        PageCase{"plain", P, 1, kFull, 2, 5, 1}, PageCase{"plain", U, 2, kFull, 2, 5, 2},
        // Landscape spreads: odd page on the left pushed right, even pushed left.
        PageCase{"plain", L, 1, kHalf, 1, 1, 1}, PageCase{"plain", L, 2, kHalf, 0, 1, 1},
        PageCase{"plain", R, 3, kHalf, 1, 1, 3}, PageCase{"plain", R, 4, kHalf, 0, 1, 3}));

INSTANTIATE_TEST_SUITE_P(
    Single, LayoutPage,
    ::testing::Values(PageCase{"single", P, 1, kFull, 2, 0, 1},
                      PageCase{"single", P, 2, kFull, 2, 0, 2},
                      // Landscape: the orientation's own number, which the transform centres.
                      PageCase{"single", L, 2, kFull, 4, 0, 2},
                      PageCase{"single", R, 3, kFull, 3, 0, 3}));

INSTANTIATE_TEST_SUITE_P(Double, LayoutPage,
                         ::testing::Values(PageCase{"double", P, 1, kHalf, 0, 1, 1},
                                           PageCase{"double", P, 2, kHalf, 1, 1, 2},
                                           PageCase{"double", L, 3, kHalf, 0, 1, 3},
                                           PageCase{"double", L, 4, kHalf, 1, 1, 4}));

INSTANTIATE_TEST_SUITE_P(
    Cover, LayoutPage,
    ::testing::Values(
        PageCase{"cover", P, 1, kFull, 2, 5, 1}, PageCase{"cover", P, 2, kFull, 2, 5, 2},
        PageCase{"cover", P, 3, kFull, 2, 5, 3},
        // Landscape: the cover alone and centred, then spreads 2–3, 4–5.
        PageCase{"cover", L, 1, kFull, 2, 5, 1}, PageCase{"cover", L, 2, kHalf, 1, 1, 2},
        PageCase{"cover", L, 3, kHalf, 0, 1, 2}, PageCase{"cover", R, 4, kHalf, 1, 1, 4},
        PageCase{"cover", R, 5, kHalf, 0, 1, 4}));

// The strip's content size for a number of pages.
struct StripCase {
    const char* layout;
    Orientation orientation;
    int pages;
    double width;
};

class LayoutStrip : public ::testing::TestWithParam<StripCase> {};

TEST_P(LayoutStrip, sumsThePageWidthsAndKeepsTheStripHeight) {
    const StripCase& c = GetParam();
    const PdfSize size =
        makeLayout(c.layout)->contentSizeForPagingScrollview(kStrip, c.orientation, c.pages);
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, kStrip.height);
}

INSTANTIATE_TEST_SUITE_P(
    AllLayouts, LayoutStrip,
    ::testing::Values(StripCase{"plain", P, 4, 4 * kFull}, StripCase{"plain", L, 4, 4 * kHalf},
                      StripCase{"plain", L, 0, 0}, StripCase{"single", L, 4, 4 * kFull},
                      // A 4-page document in spreads in landscape: 5 half-widths.
                      StripCase{"double", L, 4, 5 * kHalf}, StripCase{"double", L, 5, 5 * kHalf},
                      StripCase{"double", P, 4, 4 * kHalf}, StripCase{"double", L, 1, kHalf},
                      StripCase{"cover", P, 4, 4 * kFull},
                      StripCase{"cover", L, 4, kFull + 3 * kHalf + kHalf},
                      StripCase{"cover", L, 5, kFull + 4 * kHalf},
                      // One page: the cover alone fills the screen, no trailing slot.
                      StripCase{"cover", L, 1, kFull}));

TEST(VXPDFFirstSinglePageLayout, showsTheOnlyPageOfAOnePageDocumentCentredFullWidthAndZoomable) {
    const auto layout = VXPDFFirstSinglePageLayout::layout();
    VXPDFPageView view;
    view.pageNumber = 1;
    layout->configureRenderview(view, L);
    EXPECT_EQ(view.pdfOrientation, VXPDFTransform::kOrientationCentered);
    EXPECT_EQ(view.maximumZoomScale, 5.0);
    EXPECT_TRUE(view.canZoom());
    EXPECT_EQ(layout->pageWidthForOrientation(L, kStrip, 1), kFull);
    EXPECT_EQ(layout->willAnimateRotationPageCorrection(1, L), 1);
    EXPECT_EQ(layout->contentSizeForPagingScrollview(kStrip, L, 1).width, kFull);
}

TEST(VXPDFLayout, aSpreadPageViewLosesItsZoomWhenPinnedToOne) {
    VXPDFPageView view;
    view.pageNumber = 2;
    view.zoomScale = 3.0;
    VXPDFLayout::layout()->configureRenderview(view, L);
    EXPECT_EQ(view.zoomScale, 1.0);
    EXPECT_FALSE(view.canZoom());
}

}  // namespace
}  // namespace pagewell
