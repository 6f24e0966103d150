#pragma once
// How pages sit in the viewer's horizontally paging strip. The plain layout shows one page per
// screen in portrait and two-page spreads (odd page on the left) in landscape; subclasses show
// single pages, spreads, or a single first page followed by spreads. A layout decides each
// page's width in the strip, the orientation code and zoom range of its page view, the strip's
// content size and the page to show after the screen turns.
//
// Stateless: safe from any thread. Page numbers are 1-based.

#include <memory>
#include <string>

#include "pdfkit/PdfGeometry.h"
#include "pdfkit/VXPDFInterfaceOrientation.h"
#include "pdfkit/VXPDFPageView.h"

namespace pagewell {

class VXPDFLayout {
  public:
    static constexpr double kMinimumZoom = 1.0;
    static constexpr double kMaximumZoom = 5.0;

    virtual ~VXPDFLayout() = default;

    // A new plain layout.
    static std::unique_ptr<VXPDFLayout> layout();

    // Sets the page view's orientation code and, where the layout decides it, its zoom range,
    // from the view's page number and the interface orientation.
    virtual void configureRenderview(VXPDFPageView& renderview,
                                     VXPDFInterfaceOrientation interfaceOrientation) const;

    // Width of the strip's content: the page widths of pages 1 to `numberOfPages` (plus, for
    // spread layouts in landscape, one trailing slot); height: the strip's height.
    PdfSize contentSizeForPagingScrollview(const PdfSize& scrollView,
                                           VXPDFInterfaceOrientation orientation,
                                           int numberOfPages) const;

    // The width page `pageNumber` takes in a strip of size `scrollView`.
    virtual double pageWidthForOrientation(VXPDFInterfaceOrientation orientation,
                                           const PdfSize& scrollView, int pageNumber) const;

    // The page to show after turning to `orientation` while `page` was shown (a spread starts
    // at its first page).
    virtual int willAnimateRotationPageCorrection(int page,
                                                  VXPDFInterfaceOrientation orientation) const;

    // A short name for logs and the command line ("plain", "single", "double", "cover").
    virtual std::string name() const { return "plain"; }

  protected:
    // True when a landscape strip of an even number (≥ 2) of pages ends with one more slot of
    // page 2's width, so that the last spread fills a whole screen.
    virtual bool addsTrailingSlotInLandscape() const { return false; }
};

}  // namespace pagewell
