#include "pdfkit/PdfAffineTransform.h"

#include <algorithm>
#include <cmath>

namespace pagewell {

PdfAffineTransform PdfAffineTransform::rotation(double radians) {
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    return {cosine, sine, -sine, cosine, 0, 0};
}

PdfAffineTransform PdfAffineTransform::concat(const PdfAffineTransform& next) const {
    // Row-vector convention: [x y 1] · this · next.
    return {a * next.a + b * next.c,
            a * next.b + b * next.d,
            c * next.a + d * next.c,
            c * next.b + d * next.d,
            tx * next.a + ty * next.c + next.tx,
            tx * next.b + ty * next.d + next.ty};
}

PdfRect PdfAffineTransform::apply(const PdfRect& r) const {
    const PdfPoint corners[] = {apply(PdfPoint{r.x, r.y}), apply(PdfPoint{(r.x + r.width), r.y}),
                                apply(PdfPoint{r.x, (r.y + r.height)}),
                                apply(PdfPoint{(r.x + r.width), (r.y + r.height)})};
    double left = corners[0].x;
    double right = corners[0].x;
    double bottom = corners[0].y;
    double top = corners[0].y;
    for (const PdfPoint& p : corners) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        bottom = std::min(bottom, p.y);
        top = std::max(top, p.y);
    }
    return {left, bottom, right - left, top - bottom};
}

}  // namespace pagewell
