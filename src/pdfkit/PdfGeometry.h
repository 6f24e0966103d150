#pragma once
// Points, sizes and the rectangle arithmetic the page geometry needs, in points, over the
// engine's PdfRect (origin at the minimum corner). Values; no hidden state.

#include <algorithm>

#include "pdfkit/PdfRect.h"

namespace pagewell {

struct PdfPoint {
    double x = 0;
    double y = 0;
    bool operator==(const PdfPoint&) const = default;
};

struct PdfSize {
    double width = 0;
    double height = 0;
    bool operator==(const PdfSize&) const = default;
};

inline double midX(const PdfRect& r) {
    return r.x + r.width / 2;
}
inline double midY(const PdfRect& r) {
    return r.y + r.height / 2;
}

// The same rectangle with non-negative width and height: a box written with its corners
// swapped covers the same area.
inline PdfRect standardizedRect(PdfRect r) {
    if (r.width < 0) {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0) {
        r.y += r.height;
        r.height = -r.height;
    }
    return r;
}

// The common part of both rectangles; an empty rectangle at the origin when they do not meet.
inline PdfRect intersectRects(const PdfRect& first, const PdfRect& second) {
    const PdfRect a = standardizedRect(first);
    const PdfRect b = standardizedRect(second);
    const double left = std::max(a.x, b.x);
    const double bottom = std::max(a.y, b.y);
    const double right = std::min(a.x + a.width, b.x + b.width);
    const double top = std::min(a.y + a.height, b.y + b.height);
    if (right < left || top < bottom) {
        return {};
    }
    return {left, bottom, right - left, top - bottom};
}

}  // namespace pagewell
