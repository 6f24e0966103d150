#pragma once
// The viewer's model: a horizontally paging strip of page views over the open document, with
// the current page, a window of at most 10 live page views around it, and the zoom state. A
// front end (terminal or graphical) feeds it the strip's size, the interface orientation,
// scroll offsets and gestures, and draws the page views it lists; tests check it directly.
//
//   openDocumentWithURL ─▶ VXPDFDocument::openDocument ─▶ scrollToPage(1)
//   setContentOffset(x) ─▶ current page from the page widths ─(changed)─▶ views rebuilt around
//                          it, zoom back to 1.0, "kVXPDFKitNotificationPageChanged"
//   scrollToPage(n | "n" | notification) ─▶ zoom container removed, page corrected by the
//                          layout, offset set, views rebuilt, "kVXPDFKitNotificationPageChanged"
//
// Observes "scrollToPageEvent" (user info: the page as int or text) and "externLinkEvent"
// (user info: the URL text) on the shared NotificationCenter while it exists.
//
// Threading rule: main thread only (observers run on the posting thread: post these
// notifications on the main thread).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdfkit/PdfGeometry.h"
#include "pdfkit/VXPDFInterfaceOrientation.h"
#include "pdfkit/VXPDFLayout.h"
#include "pdfkit/VXPDFPageView.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"

namespace pagewell {

class VXPDFViewController {
  public:
    static constexpr const char* kPageChangedNotification = "kVXPDFKitNotificationPageChanged";
    static constexpr const char* kScrollToPageEvent = "scrollToPageEvent";
    static constexpr const char* kExternLinkEvent = "externLinkEvent";
    static constexpr int kMaximumPageViews = 10;
    static constexpr double kMinimumZoom = 1.0;
    static constexpr double kMaximumZoom = 5.0;

    // The zoom container placed over page views that cannot zoom themselves (spreads), so that
    // both pages of a spread zoom together.
    struct ZoomContainer {
        double zoomScale = 1.0;
        std::optional<PdfRect> zoomedRect;  // the rectangle of the last zoomToRect
    };

    VXPDFViewController(PdfSize stripSize, VXPDFInterfaceOrientation orientation);
    ~VXPDFViewController();
    VXPDFViewController(const VXPDFViewController&) = delete;
    VXPDFViewController& operator=(const VXPDFViewController&) = delete;

    // The layout; a plain VXPDFLayout unless one is set (set it before opening).
    const VXPDFLayout& layout() const { return *layout_; }
    void setLayout(std::unique_ptr<VXPDFLayout> layout);

    // Opens the file at a file URL in the shared VXPDFDocument and shows page 1.
    Status openDocumentWithURL(const std::optional<std::string>& url);

    // Goes to a page; false (and nothing changes) when the corrected page is outside 1 to N.
    bool scrollToPage(int page);
    // Numeric text as a number ("7", " 12abc"); text without a leading number is page 0.
    bool scrollToPage(std::string_view numericText);
    // A notification whose user info is an int or a text as above.
    bool scrollToPage(const Notification& notification);

    int currentPage() const { return currentPage_; }
    int numberOfPages() const;

    // The user scrolled the strip to horizontal offset `x`.
    void setContentOffset(double x);
    double contentOffset() const { return contentOffset_; }
    PdfSize contentSize() const;
    PdfSize stripSize() const { return stripSize_; }
    VXPDFInterfaceOrientation interfaceOrientation() const { return orientation_; }
    // The screen turned: the strip takes the new size and the current page, corrected by the
    // layout, is shown again.
    void setInterfaceOrientation(VXPDFInterfaceOrientation orientation, PdfSize stripSize);

    // The live page views, ascending by page; at most 10.
    const std::vector<VXPDFPageView>& pageViews() const { return pageViews_; }
    // The page views that overlap the part of the strip on screen.
    std::vector<const VXPDFPageView*> visiblePageViews() const;

    // A pinch that ended at `scale`: page views that zoom themselves take it (within their
    // range); otherwise a zoom container (1.0 to 5.0) takes it and paging scroll is off while
    // it is zoomed; ending at 1.0 removes the container. Ignored while zooming is disabled.
    void pinch(double scale);
    // Zooms the container to show `rect` (strip coordinates).
    void zoomToRect(const PdfRect& rect);
    // Every visible page view back to 1.0, the container removed, scrolling on.
    void resetZoom();
    bool isZooming() const;
    const std::optional<ZoomContainer>& zoomContainer() const { return zoomContainer_; }

    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool scrollEnabled() const { return scrollEnabled_; }
    // Switches the pinch on or off and sets every page view's zoom range to 1.0 to 5.0, or
    // pins it to its minimum.
    void setZoomEnabled(bool enabled);
    bool zoomEnabled() const { return zoomEnabled_; }

    void setRenderingQuality(int quality);

    // False while the in-app web screen of an external link is shown.
    bool allowDealloc() const { return allowDealloc_; }
    // The URL of the external link being shown, if any.
    const std::optional<std::string>& externalLinkURL() const { return externalLinkURL_; }
    // The web screen was closed.
    void dismissExternalLink();

  private:
    double widthOfPage(int page) const;
    double offsetOfPage(int page) const;
    int pageAtOffset(double x) const;
    void rebuildPageViews(int page);
    void postPageChanged() const;
    void showExternalLink(const Notification& notification);

    std::unique_ptr<VXPDFLayout> layout_;
    PdfSize stripSize_;
    VXPDFInterfaceOrientation orientation_;
    int currentPage_ = 0;
    double contentOffset_ = 0;
    std::vector<VXPDFPageView> pageViews_;
    std::optional<ZoomContainer> zoomContainer_;
    bool scrollEnabled_ = true;
    bool zoomEnabled_ = true;
    bool allowDealloc_ = true;
    std::optional<std::string> externalLinkURL_;
    std::shared_ptr<NotificationCenter> center_;
    std::vector<NotificationCenter::Token> observers_;
};

}  // namespace pagewell
