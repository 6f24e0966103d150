#pragma once
// A rectangle in PDF user space: origin at the lower-left corner, width and height not negative
// once normalised.

namespace pagewell {

struct PdfRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const PdfRect&) const = default;
};

}  // namespace pagewell
