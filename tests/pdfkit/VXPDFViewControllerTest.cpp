#include "pdfkit/VXPDFViewController.h"

#include <gtest/gtest.h>

#include <vector>

#include "PdfFixture.h"
#include "TestSupport.h"
#include "pdfkit/VXPDFDocument.h"
#include "pdfkit/VXPDFDoublePageLayout.h"
#include "pdfkit/VXPDFFirstSinglePageLayout.h"

namespace pagewell {
namespace {

using Orientation = VXPDFInterfaceOrientation;
constexpr PdfSize kPortraitStrip{1000, 700};
constexpr PdfSize kLandscapeStrip{1400, 900};

// A viewer over a document of `pages` blank pages, with the page-change notifications it posts.
class VXPDFViewControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        NotificationCenter::setShared(nullptr);
        VXPDFDocument::setShared(std::make_shared<VXPDFDocument>());
        NotificationCenter::shared().addObserver(VXPDFViewController::kPageChangedNotification,
                                                 [this](const Notification& n) {
                                                     const int* page = n.userInfoAs<int>();
                                                     pageChanges.push_back(page ? *page : -1);
                                                 });
    }
    void TearDown() override {
        viewer.reset();
        VXPDFDocument::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
    }

    VXPDFViewController& open(int pages, Orientation orientation = Orientation::Portrait,
                              std::unique_ptr<VXPDFLayout> layout = nullptr) {
        test::PdfFixture fixture;
        for (int i = 0; i < pages; ++i) {
            fixture.addPage({});
        }
        const auto path = directory.path() / ("doc" + std::to_string(++opened) + ".pdf");
        fixture.write(path);
        viewer = std::make_unique<VXPDFViewController>(
            isLandscape(orientation) ? kLandscapeStrip : kPortraitStrip, orientation);
        viewer->setLayout(std::move(layout));
        EXPECT_TRUE(viewer->openDocumentWithURL(VXPDFDocument::fileURLForPath(path.string())));
        pageChanges.clear();
        return *viewer;
    }

    std::vector<int> viewPages() const {
        std::vector<int> pages;
        for (const auto& view : viewer->pageViews()) {
            pages.push_back(view.pageNumber);
        }
        return pages;
    }

    static std::vector<int> range(int first, int last) {
        std::vector<int> pages;
        for (int page = first; page <= last; ++page) {
            pages.push_back(page);
        }
        return pages;
    }

    TemporaryDirectory directory;
    std::unique_ptr<VXPDFViewController> viewer;
    std::vector<int> pageChanges;
    int opened = 0;
};

TEST_F(VXPDFViewControllerTest, openingShowsPageOneWithItsWindow) {
    auto& v = open(30);
    EXPECT_EQ(v.numberOfPages(), 30);
    EXPECT_EQ(v.currentPage(), 1);
    EXPECT_EQ(viewPages(), range(1, 10));
    EXPECT_EQ(v.contentSize(), (PdfSize{30 * 1000, 700}));
}

TEST_F(VXPDFViewControllerTest, scrollToPageSevenOfThirtyBuildsViewsThreeToTwelve) {
    auto& v = open(30);
    ASSERT_TRUE(v.scrollToPage(7));
    EXPECT_EQ(v.currentPage(), 7);
    EXPECT_EQ(v.contentOffset(), 6 * 1000);
    EXPECT_EQ(viewPages(), range(3, 12));
    // Each view sits at the sum of the widths before it and is configured by the layout.
    for (const auto& view : v.pageViews()) {
        EXPECT_EQ(view.frame, (PdfRect{(view.pageNumber - 1) * 1000.0, 0, 1000, 700}));
        EXPECT_EQ(view.pdfOrientation, VXPDFTransform::kOrientationCentered);
    }
    EXPECT_EQ(pageChanges, std::vector<int>{7});
}

TEST_F(VXPDFViewControllerTest, theWindowStaysWithinTheDocument) {
    struct Case {
        int pages;
        int target;
        std::vector<int> views;
    } cases[] = {{30, 1, range(1, 10)},
                 {30, 2, range(1, 10)},
                 {30, 30, range(21, 30)},
                 {30, 26, range(21, 30)},
                 {30, 25, range(21, 30)},
                 {30, 24, range(20, 29)},
                 // Odd windows keep the page and all `window` views; one page gets its view.
                 {5, 1, range(1, 5)},
                 {5, 3, range(1, 5)},
                 {5, 5, range(1, 5)},
                 {3, 2, range(1, 3)},
                 {1, 1, range(1, 1)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, page " << c.target);
        auto& v = open(c.pages);
        ASSERT_TRUE(v.scrollToPage(c.target));
        EXPECT_EQ(viewPages(), c.views);
        EXPECT_LE(v.pageViews().size(), 10u);
    }
}

TEST_F(VXPDFViewControllerTest, acceptsNumbersNumericTextAndNotifications) {
    auto& v = open(30);
    EXPECT_TRUE(v.scrollToPage(std::string_view("12")));
    EXPECT_EQ(v.currentPage(), 12);
    EXPECT_TRUE(v.scrollToPage(std::string_view(" 4 of 30")));
    EXPECT_EQ(v.currentPage(), 4);
    EXPECT_TRUE(v.scrollToPage(Notification{"scrollToPageEvent", 9}));
    EXPECT_EQ(v.currentPage(), 9);
    EXPECT_TRUE(v.scrollToPage(Notification{"scrollToPageEvent", std::string("21")}));
    EXPECT_EQ(v.currentPage(), 21);
    // Observed on the shared centre.
    NotificationCenter::shared().post(VXPDFViewController::kScrollToPageEvent, 15);
    EXPECT_EQ(v.currentPage(), 15);
    NotificationCenter::shared().post(VXPDFViewController::kScrollToPageEvent, std::string("16"));
    EXPECT_EQ(v.currentPage(), 16);
    EXPECT_EQ(pageChanges, (std::vector<int>{12, 4, 9, 21, 15, 16}));

    // Pages outside 1..N, text without a number and other user info change nothing.
    pageChanges.clear();
    EXPECT_FALSE(v.scrollToPage(0));
    EXPECT_FALSE(v.scrollToPage(31));
    EXPECT_FALSE(v.scrollToPage(-3));
    EXPECT_FALSE(v.scrollToPage(std::string_view("page seven")));
    EXPECT_FALSE(v.scrollToPage(Notification{"scrollToPageEvent", 2.5}));
    EXPECT_FALSE(v.scrollToPage(Notification{"scrollToPageEvent", {}}));
    EXPECT_EQ(v.currentPage(), 16);
    EXPECT_EQ(viewPages(), range(12, 21));
    EXPECT_TRUE(pageChanges.empty());
}

TEST_F(VXPDFViewControllerTest, currentPageFollowsTheScrollOffset) {
    auto& v = open(30);
    struct Case {
        double offset;
        int page;
    } cases[] = {{0, 1}, {999.5, 1}, {1000, 2}, {1001, 2}, {6500, 7}, {29999, 30}, {1e9, 30}};
    for (const Case& c : cases) {
        v.setContentOffset(c.offset);
        EXPECT_EQ(v.currentPage(), c.page) << c.offset;
    }
    EXPECT_EQ(pageChanges, (std::vector<int>{2, 7, 30}));
    EXPECT_EQ(viewPages(), range(21, 30));
}

TEST_F(VXPDFViewControllerTest, currentPageUsesTheLayoutsPageWidths) {
    // Cover layout in landscape: page 1 takes 1400, the others 700 each.
    auto& v = open(6, Orientation::LandscapeLeft, VXPDFFirstSinglePageLayout::layout());
    const std::pair<double, int> cases[] = {{1399, 1}, {1400, 2}, {2099, 2}, {2100, 3}, {4000, 5}};
    for (const auto& [offset, page] : cases) {
        v.setContentOffset(offset);
        EXPECT_EQ(v.currentPage(), page) << offset;
    }
    // Going to page 5 shows the spread 4–5.
    ASSERT_TRUE(v.scrollToPage(5));
    EXPECT_EQ(v.currentPage(), 4);
    EXPECT_EQ(v.contentOffset(), 1400 + 2 * 700);
    EXPECT_EQ(v.contentSize().width, 1400 + 5 * 700 + 700);  // 6 pages: a trailing slot
}

TEST_F(VXPDFViewControllerTest, noDocumentMeansPageZero) {
    viewer = std::make_unique<VXPDFViewController>(kPortraitStrip, Orientation::Portrait);
    viewer->setContentOffset(500);
    EXPECT_EQ(viewer->currentPage(), 0);
    EXPECT_EQ(viewer->numberOfPages(), 0);
    EXPECT_FALSE(viewer->scrollToPage(1));
    EXPECT_TRUE(viewer->pageViews().empty());
    EXPECT_TRUE(pageChanges.empty());
}

TEST_F(VXPDFViewControllerTest, turningToLandscapeStartsTheSpreadAtItsOddPage) {
    auto& v = open(10);
    ASSERT_TRUE(v.scrollToPage(4));
    v.setInterfaceOrientation(Orientation::LandscapeRight, kLandscapeStrip);
    EXPECT_EQ(v.currentPage(), 3);
    EXPECT_EQ(v.contentOffset(), 2 * 700);
    ASSERT_FALSE(v.pageViews().empty());
    EXPECT_EQ(v.pageViews().front().frame.width, 700);
    EXPECT_EQ(v.pageViews().front().maximumZoomScale, 1.0);
}

TEST_F(VXPDFViewControllerTest, aFourPageDoublePageDocumentHasAStripOfFiveHalfWidths) {
    auto& v = open(4, Orientation::LandscapeLeft, VXPDFDoublePageLayout::layout());
    EXPECT_EQ(v.contentSize(), (PdfSize{5 * 700, 900}));
}

TEST_F(VXPDFViewControllerTest, pageViewsThatZoomThemselvesTakeThePinch) {
    auto& v = open(30);
    v.pinch(2.5);
    EXPECT_TRUE(v.isZooming());
    EXPECT_FALSE(v.zoomContainer().has_value());
    EXPECT_TRUE(v.scrollEnabled());
    EXPECT_EQ(v.visiblePageViews().front()->zoomScale, 2.5);
    v.pinch(8);  // beyond the range
    EXPECT_EQ(v.visiblePageViews().front()->zoomScale, 5.0);

    // Scrolling to another page brings every page view back to 1.0.
    v.setContentOffset(1500);
    EXPECT_FALSE(v.isZooming());
    for (const auto& view : v.pageViews()) {
        EXPECT_EQ(view.zoomScale, 1.0);
    }

    v.pinch(3);
    v.resetZoom();
    EXPECT_FALSE(v.isZooming());
}

TEST_F(VXPDFViewControllerTest, aSpreadZoomsThroughTheContainerWithScrollingOff) {
    auto& v = open(10, Orientation::LandscapeLeft);
    ASSERT_EQ(v.visiblePageViews().size(), 2u);  // pages 1 and 2 side by side
    v.pinch(3);
    ASSERT_TRUE(v.zoomContainer().has_value());
    EXPECT_EQ(v.zoomContainer()->zoomScale, 3);
    EXPECT_FALSE(v.scrollEnabled());
    EXPECT_TRUE(v.isZooming());

    v.pinch(1.0);  // the zoom ended at 1.0: the container goes, paging returns
    EXPECT_FALSE(v.zoomContainer().has_value());
    EXPECT_TRUE(v.scrollEnabled());
    EXPECT_FALSE(v.isZooming());

    // A double tap's 300 × 300 rectangle in a 1400 × 900 strip: min(4.67, 3).
    v.zoomToRect({550, 300, 300, 300});
    ASSERT_TRUE(v.zoomContainer().has_value());
    EXPECT_EQ(v.zoomContainer()->zoomScale, 3);
    EXPECT_FALSE(v.scrollEnabled());
    v.zoomToRect({0, 0, 100, 100});
    EXPECT_EQ(v.zoomContainer()->zoomScale, 5);

    // scrollToPage removes the container and re-enables scrolling.
    ASSERT_TRUE(v.scrollToPage(5));
    EXPECT_FALSE(v.zoomContainer().has_value());
    EXPECT_TRUE(v.scrollEnabled());

    v.zoomToRect({0, 0, 300, 300});
    v.resetZoom();
    EXPECT_FALSE(v.zoomContainer().has_value());
    EXPECT_TRUE(v.scrollEnabled());
}

TEST_F(VXPDFViewControllerTest, zoomSwitchedOffPinsEveryPageViewAndIgnoresPinches) {
    auto& v = open(30);
    v.setZoomEnabled(false);
    for (const auto& view : v.pageViews()) {
        EXPECT_EQ(view.maximumZoomScale, view.minimumZoomScale);
    }
    v.pinch(3);
    EXPECT_FALSE(v.isZooming());
    ASSERT_TRUE(v.scrollToPage(20));  // new views stay pinned
    EXPECT_FALSE(v.pageViews().front().canZoom());

    v.setZoomEnabled(true);
    for (const auto& view : v.pageViews()) {
        EXPECT_EQ(view.minimumZoomScale, 1.0);
        EXPECT_EQ(view.maximumZoomScale, 5.0);
    }
    v.pinch(2);
    EXPECT_TRUE(v.isZooming());
}

TEST_F(VXPDFViewControllerTest, anExternalLinkHoldsTheViewerUntilItsScreenCloses) {
    auto& v = open(3);
    EXPECT_TRUE(v.allowDealloc());
    NotificationCenter::shared().post(VXPDFViewController::kExternLinkEvent,
                                      std::string("https://example.com/catalogue"));
    EXPECT_FALSE(v.allowDealloc());
    EXPECT_EQ(v.externalLinkURL(), "https://example.com/catalogue");
    v.dismissExternalLink();
    EXPECT_TRUE(v.allowDealloc());
    EXPECT_FALSE(v.externalLinkURL().has_value());
}

TEST_F(VXPDFViewControllerTest, passesTheRenderingQualityToTheDocument) {
    auto& v = open(1);
    v.setRenderingQuality(1);
    EXPECT_EQ(VXPDFDocument::getInstance().getRenderingQuality(), 1);
}

}  // namespace
}  // namespace pagewell
