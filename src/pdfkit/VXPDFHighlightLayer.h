#pragma once
// Draws a page's search hits as translucent yellow boxes over the page: yellow, multiplied
// with what lies beneath (text stays dark), at alpha 0.6. Stateless; safe from any thread
// for distinct contexts.

#include <vector>

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/VXPDFSelection.h"

using cairo_t = struct _cairo;

namespace pagewell {

class VXPDFHighlightLayer {
  public:
    static constexpr double kHighlightAlpha = 0.6;

    // Draws `selections` on `context`, whose device space is a layer of `layerSize` with y
    // pointing down. `pageTransform` maps the page's default user space into the layer with y
    // up (the page's drawing transform for the layer bounds); the flip happens here. With
    // `clearFirst` the layer is made transparent before drawing (an overlay of its own);
    // without it the boxes go over what the context already shows (a rendered page).
    static void drawSelections(cairo_t* context, const PdfSize& layerSize,
                               const PdfAffineTransform& pageTransform,
                               const std::vector<VXPDFSelection>& selections,
                               bool clearFirst = false);
};

}  // namespace pagewell
