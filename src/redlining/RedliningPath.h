#pragma once
// A drawn outline: move, line, quadratic and cubic curve and close elements in overlay
// coordinates, and its archived form, a run of elements each written as a little-endian int32
// type (0 move, 1 line, 2 quadratic, 3 cubic, 4 close), a uint32 point count (1, 1, 2, 3, 0)
// and two float32 per point.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "redlining/RedliningGeometry.h"

namespace pagewell {

class RedliningPath {
  public:
    enum class Kind { Move = 0, Line = 1, Quad = 2, Cubic = 3, Close = 4 };
    struct Element {
        Kind kind = Kind::Move;
        RedliningPoint points[3];
        bool operator==(const Element&) const = default;
    };

    static constexpr std::size_t kMaxElements = 1'000'000;

    void moveTo(RedliningPoint p);
    void lineTo(RedliningPoint p);
    void curveTo(RedliningPoint c1, RedliningPoint c2, RedliningPoint end);
    void close();
    static RedliningPath rectangle(const RedliningRect& r);
    static RedliningPath ellipseInRect(const RedliningRect& r);

    const std::vector<Element>& elements() const { return elements_; }
    // True when the outline draws nothing: no element beyond the moves.
    bool isEmpty() const;
    // The smallest rectangle holding every point, control points included.
    RedliningRect bounds() const;
    RedliningPath transformed(const RedliningTransform& t) const;

    std::string encode() const;
    // None when the data is not a whole run of known elements, a number is not finite or the
    // run is longer than kMaxElements.
    static std::optional<RedliningPath> decode(std::string_view data);

    bool operator==(const RedliningPath&) const = default;

  private:
    std::vector<Element> elements_;
};

}  // namespace pagewell
