#pragma once
// The state of one page view in the viewer's page strip: which page it shows, where it sits in
// the strip, where the page is pushed inside it (orientation code, see VXPDFTransform) and its
// zoom. The view itself (drawing, gestures) belongs to a front end; the viewer model and the
// layouts decide these values.

#include "pdfkit/PdfGeometry.h"
#include "pdfkit/VXPDFTransform.h"

namespace pagewell {

struct VXPDFPageView {
    static constexpr double kDefaultMinimumZoomScale = 1.0;
    static constexpr double kDefaultMaximumZoomScale = 5.0;

    int pageNumber = 0;
    PdfRect frame;
    int pdfOrientation = VXPDFTransform::kOrientationCentered;
    double minimumZoomScale = kDefaultMinimumZoomScale;
    double maximumZoomScale = kDefaultMaximumZoomScale;
    double zoomScale = 1.0;

    // A page view whose zoom range is pinned at 1.0 (a landscape spread) is zoomed by the
    // viewer's zoom container instead of by itself.
    bool canZoom() const { return maximumZoomScale > minimumZoomScale; }

    void setZoomRange(double minimum, double maximum) {
        minimumZoomScale = minimum;
        maximumZoomScale = maximum;
        if (zoomScale < minimum) {
            zoomScale = minimum;
        }
        if (zoomScale > maximum) {
            zoomScale = maximum;
        }
    }
};

}  // namespace pagewell
