#pragma once
// One search hit: the text state at its first glyph, the transform of that glyph's text space
// into the page's default space, and the hit's rectangle in that text space (baseline at y = 0,
// from the font's descent up to its ascent, as wide as the glyphs the hit covers).

#include <string>
#include <utility>

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/VXPDFRenderState.h"

namespace pagewell {

class VXPDFSelection {
  public:
    // The hit as a reader finds it: the words shown around it (UTF-8, control characters
    // replaced by spaces, so that the text is safe on a terminal) and its rectangle on the
    // displayed page (PdfPageSpace). Filled by a scanner that describes its hits
    // (VXPDFScanner::setDescribesHits); empty otherwise.
    struct Description {
        std::string before;
        std::string match;
        std::string after;
        PdfRect pageSpaceRect;
    };

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

    const Description& description() const { return description_; }
    void setDescription(Description description) { description_ = std::move(description); }

  private:
    VXPDFRenderState startState_;
    PdfAffineTransform transform_;
    PdfRect rect_;
    Description description_;
};

}  // namespace pagewell
