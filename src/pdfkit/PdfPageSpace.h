#pragma once
// The page as a person sees it: turned by its /Rotate, origin at the top-left corner of its
// visible box, x to the right and y downwards, in points. The one place where a rectangle in
// a page's default user space (y up, the box anywhere, unturned) becomes a position a reader
// can find on the displayed page; the renderer draws through the same map.
// Pure arithmetic; safe from any thread.

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"

namespace pagewell {

class PdfPage;
class VXPDFSelection;

class PdfPageSpace {
  public:
    // The map from default user space into page space for a page showing `visibleBox` turned
    // clockwise by `rotation` degrees (any multiple of 90; others count as 0).
    static PdfAffineTransform fromUserSpace(const PdfRect& visibleBox, int rotation);
    // The part of `page` a reader sees: crop box ∩ media box, the media box when they miss.
    static PdfRect visibleBox(const PdfPage& page);
    // The same for `page` (its visible box).
    static PdfAffineTransform fromUserSpace(const PdfPage& page);

    // A search hit's rectangle on the displayed page: its text-space rectangle through its
    // transform into user space, then into page space (axis-aligned bounds).
    static PdfRect rectOf(const VXPDFSelection& selection, const PdfAffineTransform& fromUser);
};

}  // namespace pagewell
