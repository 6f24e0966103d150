#pragma once
// Points, sizes, rectangles and affine transforms of the drawing overlay (origin top left, y
// down), and their archived text forms "{x, y}", "{{x, y}, {w, h}}" and "[a, b, c, d, tx, ty]".
// A transform maps (x, y) to (a x + c y + tx, b x + d y + ty).

#include <optional>
#include <string>
#include <string_view>

namespace pagewell {

struct RedliningPoint {
    double x = 0;
    double y = 0;
    bool operator==(const RedliningPoint&) const = default;
};

struct RedliningRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const RedliningRect&) const = default;
    bool isZero() const { return x == 0 && y == 0 && width == 0 && height == 0; }
    bool isEmpty() const { return !(width > 0) || !(height > 0); }
    RedliningPoint center() const { return {x + width / 2, y + height / 2}; }
    bool contains(RedliningPoint p) const {
        return p.x >= x && p.y >= y && p.x <= x + width && p.y <= y + height;
    }
    RedliningRect insetBy(double dx, double dy) const {
        return {x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    }
    bool intersects(const RedliningRect& o) const {
        return x <= o.x + o.width && o.x <= x + width && y <= o.y + o.height && o.y <= y + height;
    }
};

struct RedliningTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool operator==(const RedliningTransform&) const = default;

    static RedliningTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static RedliningTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static RedliningTransform rotation(double radians);
    bool isIdentity() const { return *this == RedliningTransform{}; }
    // `first` applied, then this.
    RedliningTransform after(const RedliningTransform& first) const;
    std::optional<RedliningTransform> inverted() const;
    RedliningPoint apply(RedliningPoint p) const {
        return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty};
    }
    bool isFinite() const;
};

class RedliningGeometry {
  public:
    static std::string formatPoint(RedliningPoint p);
    static std::string formatRect(const RedliningRect& r);
    static std::string formatTransform(const RedliningTransform& t);
    // None unless the text has exactly the form and every number is finite.
    static std::optional<RedliningPoint> parsePoint(std::string_view text);
    static std::optional<RedliningRect> parseRect(std::string_view text);
    static std::optional<RedliningTransform> parseTransform(std::string_view text);
    // Origin at the smaller coordinates, size the absolute differences.
    static RedliningRect rectFromPoint(RedliningPoint from, RedliningPoint to);
};

}  // namespace pagewell
