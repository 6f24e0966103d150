#include "redlining/RedliningGeometry.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace pagewell {

namespace {

// The numbers of a text made of numbers, braces, brackets, commas and blanks, in order.
std::optional<std::vector<double>> numbersIn(std::string_view text, std::size_t expected) {
    std::vector<double> numbers;
    std::string buffer(text);
    const char* at = buffer.c_str();
    while (*at != '\0') {
        char ch = *at;
        if (ch == '{' || ch == '}' || ch == '[' || ch == ']' || ch == ',' || ch == ' ' ||
            ch == '\t' || ch == '\n') {
            ++at;
            continue;
        }
        char* end = nullptr;
        double value = std::strtod(at, &end);
        if (end == at || !std::isfinite(value)) {
            return std::nullopt;
        }
        numbers.push_back(value);
        if (numbers.size() > expected) {
            return std::nullopt;
        }
        at = end;
    }
    if (numbers.size() != expected) {
        return std::nullopt;
    }
    return numbers;
}

std::string number(double value) {
    return fmt::format("{}", value);
}

}  // namespace

RedliningTransform RedliningTransform::rotation(double radians) {
    double cs = std::cos(radians);
    double sn = std::sin(radians);
    return {cs, sn, -sn, cs, 0, 0};
}

RedliningTransform RedliningTransform::after(const RedliningTransform& f) const {
    return {f.a * a + f.b * c, f.a * b + f.b * d,        f.c * a + f.d * c,
            f.c * b + f.d * d, f.tx * a + f.ty * c + tx, f.tx * b + f.ty * d + ty};
}

std::optional<RedliningTransform> RedliningTransform::inverted() const {
    double det = a * d - b * c;
    if (!std::isfinite(det) || std::abs(det) < 1e-12) {
        return std::nullopt;
    }
    RedliningTransform inv{d / det, -b / det, -c / det, a / det, 0, 0};
    inv.tx = -(inv.a * tx + inv.c * ty);
    inv.ty = -(inv.b * tx + inv.d * ty);
    return inv;
}

bool RedliningTransform::isFinite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) &&
           std::isfinite(tx) && std::isfinite(ty);
}

std::string RedliningGeometry::formatPoint(RedliningPoint p) {
    return "{" + number(p.x) + ", " + number(p.y) + "}";
}

std::string RedliningGeometry::formatRect(const RedliningRect& r) {
    return "{{" + number(r.x) + ", " + number(r.y) + "}, {" + number(r.width) + ", " +
           number(r.height) + "}}";
}

std::string RedliningGeometry::formatTransform(const RedliningTransform& t) {
    return "[" + number(t.a) + ", " + number(t.b) + ", " + number(t.c) + ", " + number(t.d) + ", " +
           number(t.tx) + ", " + number(t.ty) + "]";
}

std::optional<RedliningPoint> RedliningGeometry::parsePoint(std::string_view text) {
    auto n = numbersIn(text, 2);
    if (!n) {
        return std::nullopt;
    }
    return RedliningPoint{(*n)[0], (*n)[1]};
}

std::optional<RedliningRect> RedliningGeometry::parseRect(std::string_view text) {
    auto n = numbersIn(text, 4);
    if (!n) {
        return std::nullopt;
    }
    return RedliningRect{(*n)[0], (*n)[1], (*n)[2], (*n)[3]};
}

std::optional<RedliningTransform> RedliningGeometry::parseTransform(std::string_view text) {
    auto n = numbersIn(text, 6);
    if (!n) {
        return std::nullopt;
    }
    return RedliningTransform{(*n)[0], (*n)[1], (*n)[2], (*n)[3], (*n)[4], (*n)[5]};
}

RedliningRect RedliningGeometry::rectFromPoint(RedliningPoint from, RedliningPoint to) {
    return {std::min(from.x, to.x), std::min(from.y, to.y), std::abs(to.x - from.x),
            std::abs(to.y - from.y)};
}

}  // namespace pagewell
