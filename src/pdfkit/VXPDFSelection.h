#pragma once
// One search hit: the text state at its first glyph, the transform of that glyph's text space
// into the page's default space, and the hit's rectangle in that text space (baseline at y = 0,
// from the font's descent up to its ascent, as wide as the glyphs the hit covers).

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/VXPDFRenderState.h"

namespace pagewell {

class VXPDFSelection {
  public:
    // Starts a hit at `startState`, the state before the first glyph's advance.
    explicit VXPDFSelection(VXPDFRenderState startState);

    // Completes the hit with `endState`, the state after the last glyph's advance: sets the
    // transform and the rectangle. A text matrix whose `a` is 0 leaves the rectangle empty.
    void finalizeWithState(const VXPDFRenderState& endState);

    const VXPDFRenderState& startState() const { return startState_; }
    // The start state's text matrix, then its current transformation matrix.
    const PdfAffineTransform& transform() const { return transform_; }
    const PdfRect& rect() const { return rect_; }
    // The rectangle in the page's default user space (the axis-aligned bounds).
    PdfRect pageRect() const { return transform_.apply(rect_); }

  private:
    VXPDFRenderState startState_;
    PdfAffineTransform transform_;
    PdfRect rect_;
};

}  // namespace pagewell
