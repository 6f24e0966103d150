#pragma once
// The text state a page scan follows: the text, line and current transformation matrices, the
// spacing values of the text operators and the current font. A value: copies are independent.
// Horizontal scaling and text rise are kept because the operators set them, but the search's
// advance and rectangle arithmetic does not use them.

#include <memory>
#include <string>

#include "pdfkit/PdfAffineTransform.h"

namespace pagewell {

class VXPDFFont;

struct VXPDFRenderState {
    PdfAffineTransform textMatrix;
    PdfAffineTransform lineMatrix;
    PdfAffineTransform ctm;
    double characterSpacing = 0;
    double wordSpacing = 0;
    double leading = 0;
    double textRise = 0;
    double fontSize = 0;
    double horizontalScaling = 1.0;
    // None when the font resource named by Tf yields no font: strings then decode to nothing.
    std::shared_ptr<const VXPDFFont> font;
    // The resource name Tf chose the font by ("F1"), for diagnostics.
    std::string fontName;

    // Td: the line matrix moves by (tx, ty) in its own space and the text matrix follows it.
    void translateLine(double tx, double ty) {
        lineMatrix = PdfAffineTransform::translation(tx, ty).concat(lineMatrix);
        textMatrix = lineMatrix;
    }
    // T*: the next line, `leading` below.
    void nextLine() { translateLine(0, -leading); }
    // Moves the text matrix by (dx, 0) in text space (glyph advances and TJ adjustments).
    void advanceText(double dx) {
        textMatrix = PdfAffineTransform::translation(dx, 0).concat(textMatrix);
    }
    // Tm: both text and line matrix.
    void setTextMatrix(const PdfAffineTransform& matrix) {
        textMatrix = matrix;
        lineMatrix = matrix;
    }
    // cm: `matrix` acts before the current transformation.
    void concatCTM(const PdfAffineTransform& matrix) { ctm = matrix.concat(ctm); }
};

}  // namespace pagewell
