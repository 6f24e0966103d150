#pragma once
// The geometry that maps a page into a view rectangle: the drawing transform every page view
// draws through, the horizontal padding that pushes a page to one edge of its slot, and the
// displayed rectangle of a page scaled into a target. Pure arithmetic on the page's box and
// /Rotate; stateless and safe from any thread.
//
// Angles are whole degrees as PDF writes them (any multiple of 90, negative or above 359).
// π is taken as the single-precision 3.1415927 so that results match the float arithmetic the
// page views were laid out with.

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfGeometry.h"

namespace pagewell {

class VXPDFTransform {
  public:
    static constexpr double kPi = 3.1415927;

    // Page orientation codes handed to page views: where a page sits in its slot. Any other
    // value (the single-page layout passes the interface orientation's number) is centred.
    static constexpr int kOrientationLeft = 0;
    static constexpr int kOrientationRight = 1;
    static constexpr int kOrientationCentered = 2;

    // `degrees` reduced modulo 360 into 0..359.
    static int normalizedAngle(int degrees);

    // The transform drawing `box` (the page's requested box, in default user space) into
    // `destRect`: centre the box on the origin, turn it by the page's rotation plus `rotate`
    // (clockwise, as /Rotate means), scale it to the target (the same factor on both axes when
    // `preserveAspectRatio`), move it to the target's centre and shift it by the padding to the
    // left (orientation 0) or right (orientation 1) edge.
    static PdfAffineTransform myPageGetDrawingTransform(const PdfRect& box, int pageRotation,
                                                        const PdfRect& destRect, int rotate,
                                                        bool preserveAspectRatio, int orientation);

    // The horizontal room left on each side of the page drawn into `destRect`, in single
    // precision.
    static float getPagePadding(const PdfRect& box, int pageRotation, const PdfRect& destRect,
                                int rotate, bool preserveAspectRatio);

    // The displayed rectangle of a page whose visible box is `box` with rotation `rotation`:
    // width and height swap at 90 and 270. With an empty `target` that rotated box itself;
    // otherwise the page scaled to fit inside `target` with single-precision ceilings, centred,
    // its origin relative to the target.
    static PdfRect scaledPageRect(const PdfRect& box, int rotation, const PdfRect& target);
};

}  // namespace pagewell
