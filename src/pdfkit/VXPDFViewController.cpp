#include "pdfkit/VXPDFViewController.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "pdfkit/VXPDFDocument.h"

namespace pagewell {

namespace {

// The leading integer of a text, as a numeric text field reads it: optional spaces, an
// optional sign, digits; 0 when there are none.
int leadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

VXPDFViewController::VXPDFViewController(PdfSize stripSize, VXPDFInterfaceOrientation orientation)
    : layout_(VXPDFLayout::layout()),
      stripSize_(stripSize),
      orientation_(orientation),
      center_(NotificationCenter::sharedPointer()) {
    observers_.push_back(center_->addObserver(
        kScrollToPageEvent,
        [this](const Notification& notification) { scrollToPage(notification); }));
    observers_.push_back(center_->addObserver(
        kExternLinkEvent,
        [this](const Notification& notification) { showExternalLink(notification); }));
}

VXPDFViewController::~VXPDFViewController() {
    for (NotificationCenter::Token token : observers_) {
        center_->removeObserver(token);
    }
}

void VXPDFViewController::setLayout(std::unique_ptr<VXPDFLayout> layout) {
    layout_ = layout ? std::move(layout) : VXPDFLayout::layout();
}

Status VXPDFViewController::openDocumentWithURL(const std::optional<std::string>& url) {
    Status status;
    VXPDFDocument::getInstance().openDocument(
        url, [] {}, [&status](const Error& error) { status = error; });
    currentPage_ = 0;
    contentOffset_ = 0;
    pageViews_.clear();
    zoomContainer_.reset();
    if (status.ok()) {
        scrollToPage(1);
    }
    return status;
}

int VXPDFViewController::numberOfPages() const {
    return VXPDFDocument::getInstance().getNumberOfPages();
}

double VXPDFViewController::widthOfPage(int page) const {
    return layout_->pageWidthForOrientation(orientation_, stripSize_, page);
}

double VXPDFViewController::offsetOfPage(int page) const {
    double offset = 0;
    for (int before = 1; before < page; ++before) {
        offset += widthOfPage(before);
    }
    return offset;
}

int VXPDFViewController::pageAtOffset(double x) const {
    const int pages = numberOfPages();
    double rightEdge = 0;
    for (int page = 1; page <= pages; ++page) {
        rightEdge += widthOfPage(page);
        if (rightEdge > x) {
            return page;
        }
    }
    return pages;
}

PdfSize VXPDFViewController::contentSize() const {
    return layout_->contentSizeForPagingScrollview(stripSize_, orientation_, numberOfPages());
}

bool VXPDFViewController::scrollToPage(int requested) {
    const int pages = numberOfPages();
    const int page = layout_->willAnimateRotationPageCorrection(requested, orientation_);
    if (page < 1 || page > pages) {
        return false;
    }
    zoomContainer_.reset();
    scrollEnabled_ = true;
    contentOffset_ = offsetOfPage(page);
    currentPage_ = page;
    rebuildPageViews(page);
    postPageChanged();
    return true;
}

bool VXPDFViewController::scrollToPage(std::string_view numericText) {
    return scrollToPage(leadingInteger(numericText));
}

bool VXPDFViewController::scrollToPage(const Notification& notification) {
    if (const int* page = notification.userInfoAs<int>()) {
        return scrollToPage(*page);
    }
    if (const std::string* text = notification.userInfoAs<std::string>()) {
        return scrollToPage(std::string_view(*text));
    }
    if (const char* const* text = notification.userInfoAs<const char*>()) {
        return *text != nullptr && scrollToPage(std::string_view(*text));
    }
    return false;
}

void VXPDFViewController::setContentOffset(double x) {
    contentOffset_ = x;
    const int page = pageAtOffset(x);
    if (page == currentPage_) {
        return;
    }
    currentPage_ = page;
    rebuildPageViews(page);
    postPageChanged();
}

void VXPDFViewController::setInterfaceOrientation(VXPDFInterfaceOrientation orientation,
                                                  PdfSize stripSize) {
    orientation_ = orientation;
    stripSize_ = stripSize;
    if (currentPage_ >= 1) {
        scrollToPage(currentPage_);
    }
}

void VXPDFViewController::rebuildPageViews(int page) {
    const int pages = numberOfPages();
    pageViews_.clear();
    if (page < 1 || page > pages) {
        return;
    }
    const int window = std::min(pages, kMaximumPageViews);
    // The window reaches window/2 − 1 pages back and fills the rest forward, so that an odd
    // window (fewer than 10 pages) still holds the page itself and has `window` views.
    int first = page - window / 2 + 1;
    int last = first + window - 1;
    if (first < 1) {
        last += 1 - first;
        first = 1;
    }
    if (last > pages) {
        first -= last - pages;
        last = pages;
    }
    first = std::max(first, 1);

    double x = offsetOfPage(first);
    for (int number = first; number <= last; ++number) {
        VXPDFPageView view;
        view.pageNumber = number;
        view.frame = {x, 0, widthOfPage(number), stripSize_.height};
        layout_->configureRenderview(view, orientation_);
        if (!zoomEnabled_) {
            view.setZoomRange(view.minimumZoomScale, view.minimumZoomScale);
        }
        view.zoomScale = 1.0;
        x += view.frame.width;
        pageViews_.push_back(view);
    }
}

std::vector<const VXPDFPageView*> VXPDFViewController::visiblePageViews() const {
    std::vector<const VXPDFPageView*> visible;
    const double left = contentOffset_;
    const double right = contentOffset_ + stripSize_.width;
    for (const VXPDFPageView& view : pageViews_) {
        if (view.frame.x < right && view.frame.x + view.frame.width > left) {
            visible.push_back(&view);
        }
    }
    return visible;
}

void VXPDFViewController::pinch(double scale) {
    if (!zoomEnabled_) {
        return;
    }
    const auto visible = visiblePageViews();
    const bool viewsZoomThemselves =
        !visible.empty() && std::all_of(visible.begin(), visible.end(),
                                        [](const VXPDFPageView* view) { return view->canZoom(); });
    if (viewsZoomThemselves && !zoomContainer_) {
        for (VXPDFPageView& view : pageViews_) {
            const bool isVisible =
                std::find(visible.begin(), visible.end(), &view) != visible.end();
            if (isVisible) {
                view.zoomScale = std::clamp(scale, view.minimumZoomScale, view.maximumZoomScale);
            }
        }
        return;
    }
    if (!zoomContainer_) {
        zoomContainer_.emplace();
    }
    zoomContainer_->zoomScale = std::clamp(scale, kMinimumZoom, kMaximumZoom);
    zoomContainer_->zoomedRect.reset();
    if (zoomContainer_->zoomScale == kMinimumZoom) {
        zoomContainer_.reset();
        scrollEnabled_ = true;
    } else {
        scrollEnabled_ = false;
    }
}

void VXPDFViewController::zoomToRect(const PdfRect& rect) {
    if (rect.isEmpty()) {
        return;
    }
    const double scale =
        std::clamp(std::min(stripSize_.width / rect.width, stripSize_.height / rect.height),
                   kMinimumZoom, kMaximumZoom);
    if (scale == kMinimumZoom) {
        zoomContainer_.reset();
        scrollEnabled_ = true;
        return;
    }
    zoomContainer_ = ZoomContainer{scale, rect};
    scrollEnabled_ = false;
}

void VXPDFViewController::resetZoom() {
    const auto visible = visiblePageViews();
    for (VXPDFPageView& view : pageViews_) {
        if (std::find(visible.begin(), visible.end(), &view) != visible.end()) {
            view.zoomScale = 1.0;
        }
    }
    zoomContainer_.reset();
    scrollEnabled_ = true;
}

bool VXPDFViewController::isZooming() const {
    // Page views inside a zoomed container are shown zoomed as well.
    if (zoomContainer_ && zoomContainer_->zoomScale != 1.0) {
        return true;
    }
    const auto visible = visiblePageViews();
    return std::any_of(visible.begin(), visible.end(),
                       [](const VXPDFPageView* view) { return view->zoomScale != 1.0; });
}

void VXPDFViewController::setZoomEnabled(bool enabled) {
    zoomEnabled_ = enabled;
    for (VXPDFPageView& view : pageViews_) {
        if (enabled) {
            view.setZoomRange(kMinimumZoom, kMaximumZoom);
        } else {
            view.setZoomRange(view.minimumZoomScale, view.minimumZoomScale);
        }
    }
}

void VXPDFViewController::setRenderingQuality(int quality) {
    VXPDFDocument::getInstance().setRenderingQuality(quality);
}

void VXPDFViewController::postPageChanged() const {
    center_->post(kPageChangedNotification, currentPage_);
}

void VXPDFViewController::showExternalLink(const Notification& notification) {
    if (const std::string* url = notification.userInfoAs<std::string>()) {
        externalLinkURL_ = *url;
    } else if (const char* const* text = notification.userInfoAs<const char*>(); text && *text) {
        externalLinkURL_ = std::string(*text);
    } else {
        return;
    }
    allowDealloc_ = false;
}

void VXPDFViewController::dismissExternalLink() {
    externalLinkURL_.reset();
    allowDealloc_ = true;
}

}  // namespace pagewell
