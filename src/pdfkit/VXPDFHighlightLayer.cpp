#include "pdfkit/VXPDFHighlightLayer.h"

#include <cairo.h>

namespace pagewell {

namespace {

cairo_matrix_t cairoMatrix(const PdfAffineTransform& t) {
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return matrix;
}

bool isInvertible(const PdfAffineTransform& t) {
    return t.a * t.d - t.b * t.c != 0;
}

}  // namespace

void VXPDFHighlightLayer::drawSelections(cairo_t* context, const PdfSize& layerSize,
                                         const PdfAffineTransform& pageTransform,
                                         const std::vector<VXPDFSelection>& selections,
                                         bool clearFirst) {
    if (context == nullptr) {
        return;
    }
    cairo_save(context);
    if (clearFirst) {
        cairo_save(context);
        cairo_set_operator(context, CAIRO_OPERATOR_CLEAR);
        cairo_paint(context);
        cairo_restore(context);
    }
    cairo_translate(context, 0, layerSize.height);
    cairo_scale(context, 1, -1);
    // cairo refuses singular matrices (the context would enter an error state for good).
    if (isInvertible(pageTransform)) {
        const cairo_matrix_t page = cairoMatrix(pageTransform);
        cairo_transform(context, &page);
        for (const VXPDFSelection& selection : selections) {
            const PdfRect& rect = selection.rect();
            if (!isInvertible(selection.transform()) || rect.width == 0 || rect.height == 0) {
                continue;
            }
            cairo_save(context);
            const cairo_matrix_t hit = cairoMatrix(selection.transform());
            cairo_transform(context, &hit);
            cairo_set_operator(context, CAIRO_OPERATOR_MULTIPLY);
            cairo_set_source_rgba(context, 1.0, 1.0, 0.0, kHighlightAlpha);
            cairo_rectangle(context, rect.x, rect.y, rect.width, rect.height);
            cairo_fill(context);
            cairo_restore(context);
        }
    }
    cairo_restore(context);
}

}  // namespace pagewell
