#pragma once
// A two-dimensional affine transform in the six-number form PDF uses ([a b c d tx ty]):
//   x' = a·x + c·y + tx,   y' = b·x + d·y + ty.
// The `then` operations append a step applied after the existing ones, so a transform is
// written in the order its steps act on a point.

#include "pdfkit/PdfGeometry.h"

namespace pagewell {

struct PdfAffineTransform {
    double a = 1;
    double b = 0;
    double c = 0;
    double d = 1;
    double tx = 0;
    double ty = 0;

    static PdfAffineTransform identity() { return {}; }
    static PdfAffineTransform translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static PdfAffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // Counter-clockwise by `radians` in a y-up space.
    static PdfAffineTransform rotation(double radians);

    // `this` first, then `next`.
    PdfAffineTransform concat(const PdfAffineTransform& next) const;
    PdfAffineTransform thenTranslate(double dx, double dy) const {
        return concat(translation(dx, dy));
    }
    PdfAffineTransform thenScale(double sx, double sy) const { return concat(scale(sx, sy)); }
    PdfAffineTransform thenRotate(double radians) const { return concat(rotation(radians)); }

    PdfPoint apply(PdfPoint p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The smallest axis-aligned rectangle holding the transformed corners of `r`.
    PdfRect apply(const PdfRect& r) const;

    bool operator==(const PdfAffineTransform&) const = default;
};

}  // namespace pagewell
