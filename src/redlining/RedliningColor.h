#pragma once
// An RGBA colour with components from 0 to 1, as the drawing objects keep their colours.

#include <string>

namespace pagewell {

struct RedliningColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;
    bool operator==(const RedliningColor&) const = default;

    static RedliningColor clear() { return {}; }
    static RedliningColor redColor() { return {1, 0, 0, 1}; }
    static RedliningColor black() { return {0, 0, 0, 1}; }
    // "#RRGGBBAA"
    std::string hex() const;
};

}  // namespace pagewell
