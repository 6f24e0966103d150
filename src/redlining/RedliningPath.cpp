#include "redlining/RedliningPath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace pagewell {

namespace {

int pointCount(RedliningPath::Kind kind) {
    switch (kind) {
        case RedliningPath::Kind::Move:
        case RedliningPath::Kind::Line:
            return 1;
        case RedliningPath::Kind::Quad:
            return 2;
        case RedliningPath::Kind::Cubic:
            return 3;
        case RedliningPath::Kind::Close:
            return 0;
    }
    return 0;
}

void put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t get32(const unsigned char* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

}  // namespace

void RedliningPath::moveTo(RedliningPoint p) {
    elements_.push_back({Kind::Move, {p, {}, {}}});
}

void RedliningPath::lineTo(RedliningPoint p) {
    elements_.push_back({Kind::Line, {p, {}, {}}});
}

void RedliningPath::curveTo(RedliningPoint c1, RedliningPoint c2, RedliningPoint end) {
    elements_.push_back({Kind::Cubic, {c1, c2, end}});
}

void RedliningPath::close() {
    elements_.push_back({Kind::Close, {}});
}

RedliningPath RedliningPath::rectangle(const RedliningRect& r) {
    RedliningPath path;
    path.moveTo({r.x, r.y});
    path.lineTo({r.x + r.width, r.y});
    path.lineTo({r.x + r.width, r.y + r.height});
    path.lineTo({r.x, r.y + r.height});
    path.close();
    return path;
}

RedliningPath RedliningPath::ellipseInRect(const RedliningRect& r) {
    // Four cubic quarter arcs; kappa places the control points of a circle's quarter.
    constexpr double kappa = 0.5522847498;
    double cx = r.x + r.width / 2;
    double cy = r.y + r.height / 2;
    double rx = r.width / 2;
    double ry = r.height / 2;
    double ox = rx * kappa;
    double oy = ry * kappa;
    RedliningPath path;
    path.moveTo({cx + rx, cy});
    path.curveTo({cx + rx, cy + oy}, {cx + ox, cy + ry}, {cx, cy + ry});
    path.curveTo({cx - ox, cy + ry}, {cx - rx, cy + oy}, {cx - rx, cy});
    path.curveTo({cx - rx, cy - oy}, {cx - ox, cy - ry}, {cx, cy - ry});
    path.curveTo({cx + ox, cy - ry}, {cx + rx, cy - oy}, {cx + rx, cy});
    path.close();
    return path;
}

bool RedliningPath::isEmpty() const {
    return std::none_of(elements_.begin(), elements_.end(), [](const Element& e) {
        return e.kind != Kind::Move && e.kind != Kind::Close;
    });
}

RedliningRect RedliningPath::bounds() const {
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const auto& e : elements_) {
        for (int i = 0; i < pointCount(e.kind); ++i) {
            minX = std::min(minX, e.points[i].x);
            minY = std::min(minY, e.points[i].y);
            maxX = std::max(maxX, e.points[i].x);
            maxY = std::max(maxY, e.points[i].y);
        }
    }
    if (minX > maxX) {
        return {};
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

RedliningPath RedliningPath::transformed(const RedliningTransform& t) const {
    RedliningPath out = *this;
    for (auto& e : out.elements_) {
        for (int i = 0; i < pointCount(e.kind); ++i) {
            e.points[i] = t.apply(e.points[i]);
        }
    }
    return out;
}

std::string RedliningPath::encode() const {
    std::string out;
    out.reserve(elements_.size() * 16);
    for (const auto& e : elements_) {
        int count = pointCount(e.kind);
        put32(out, static_cast<std::uint32_t>(e.kind));
        put32(out, static_cast<std::uint32_t>(count));
        for (int i = 0; i < count; ++i) {
            for (double v : {e.points[i].x, e.points[i].y}) {
                float f = static_cast<float>(v);
                std::uint32_t bits = 0;
                std::memcpy(&bits, &f, sizeof bits);
                put32(out, bits);
            }
        }
    }
    return out;
}

std::optional<RedliningPath> RedliningPath::decode(std::string_view data) {
    RedliningPath path;
    const auto* at = reinterpret_cast<const unsigned char*>(data.data());
    const auto* end = at + data.size();
    while (at < end) {
        if (end - at < 8 || path.elements_.size() >= kMaxElements) {
            return std::nullopt;
        }
        std::uint32_t type = get32(at);
        std::uint32_t count = get32(at + 4);
        at += 8;
        if (type > 4 || count != static_cast<std::uint32_t>(pointCount(static_cast<Kind>(type))) ||
            static_cast<std::size_t>(end - at) < count * 8u) {
            return std::nullopt;
        }
        Element e{static_cast<Kind>(type), {}};
        for (std::uint32_t i = 0; i < count; ++i) {
            float xy[2];
            for (float& f : xy) {
                std::uint32_t bits = get32(at);
                std::memcpy(&f, &bits, sizeof f);
                at += 4;
            }
            if (!std::isfinite(xy[0]) || !std::isfinite(xy[1])) {
                return std::nullopt;
            }
            e.points[i] = {xy[0], xy[1]};
        }
        path.elements_.push_back(e);
    }
    return path;
}

}  // namespace pagewell
