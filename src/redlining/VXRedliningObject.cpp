#include "redlining/VXRedliningObject.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "redlining/RedliningArchiveValues.h"
#include "redlining/VXRedliningCircleObject.h"
#include "redlining/VXRedliningImageObject.h"
#include "redlining/VXRedliningLineObject.h"
#include "redlining/VXRedliningRectObject.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {

namespace {

const std::vector<double> kSolid;

// A 1×1 surface to ask cairo about outlines without drawing.
struct ProbeContext {
    ProbeContext() {
        surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
        cr = cairo_create(surface);
    }
    ~ProbeContext() {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    ProbeContext(const ProbeContext&) = delete;
    ProbeContext& operator=(const ProbeContext&) = delete;
    cairo_surface_t* surface;
    cairo_t* cr;
};

}  // namespace

std::unique_ptr<VXRedliningObject> VXRedliningObject::create(int drawType,
                                                             const RedliningRect& bounds) {
    switch (drawType) {
        case 0:
        case 1:
            return std::make_unique<VXRedliningLineObject>(bounds);
        case 2:
            return std::make_unique<VXRedliningCircleObject>(bounds);
        case 3:
            return std::make_unique<VXRedliningRectObject>(bounds);
        case 4:
            return std::make_unique<VXRedliningTextObject>(bounds);
        case 5:
            return std::make_unique<VXRedliningImageObject>(bounds);
        default:
            return nullptr;
    }
}

VXRedliningObject::VXRedliningObject(const RedliningRect& overlayBounds)
    : frame_(overlayBounds), superLayerFrame_(overlayBounds) {}

bool VXRedliningObject::drawsSomething() const {
    return path_ && !path_->isEmpty();
}

const std::vector<double>& VXRedliningObject::lineDashPattern() const {
    return kSolid;
}

RedliningTransform VXRedliningObject::toOverlay() const {
    RedliningPoint c = frame_.center();
    return RedliningTransform::translation(c.x, c.y)
        .after(transform_)
        .after(RedliningTransform::translation(frame_.x - c.x, frame_.y - c.y));
}

RedliningPoint VXRedliningObject::toContent(RedliningPoint overlayPoint) const {
    auto inverse = toOverlay().inverted();
    if (!inverse) {
        return {std::nan(""), std::nan("")};
    }
    return inverse->apply(overlayPoint);
}

void VXRedliningObject::draw(cairo_t* cr) const {
    RedliningTransform t = toOverlay();
    if (!t.isFinite() || !t.inverted()) {
        return;
    }
    cairo_save(cr);
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    cairo_transform(cr, &m);
    drawContent(cr);
    cairo_restore(cr);
}

RedliningRect VXRedliningObject::boundsOnOverlay() const {
    RedliningRect content = path_ ? path_->bounds() : RedliningRect{};
    double half = lineWidth() / 2;
    content = content.insetBy(-half, -half);
    RedliningTransform t = toOverlay();
    RedliningPoint corners[4] = {t.apply({content.x, content.y}),
                                 t.apply({content.x + content.width, content.y}),
                                 t.apply({content.x, content.y + content.height}),
                                 t.apply({content.x + content.width, content.y + content.height})};
    double minX = corners[0].x, maxX = corners[0].x, minY = corners[0].y, maxY = corners[0].y;
    for (const auto& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

bool VXRedliningObject::pathHitTest(RedliningPoint overlayPoint) const {
    if (!path_ || path_->isEmpty()) {
        return false;
    }
    // Cheap rejection: the touch's reach is five points around it, scaled into content space.
    double reach = 5 * std::max({1.0, std::abs(scaleX()), std::abs(scaleY())}) + 1;
    RedliningRect bounds = boundsOnOverlay().insetBy(-reach, -reach);
    if (!bounds.contains(overlayPoint)) {
        return false;
    }
    RedliningPoint p = toContent(overlayPoint);
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        return false;
    }
    ProbeContext probe;
    appendPath(probe.cr, *path_);
    // The outline's edge itself is not inside: a touch exactly one reach plus half the width
    // away misses. cairo counts its fixed-point edge (1/256) as inside, so trim by two steps.
    cairo_set_line_width(probe.cr, std::max(lineWidth() - 2.0 / 256, 0.0));
    cairo_set_fill_rule(probe.cr, CAIRO_FILL_RULE_WINDING);
    for (int dx = -5; dx <= 5; ++dx) {
        for (int dy = -5; dy <= 5; ++dy) {
            if (cairo_in_stroke(probe.cr, p.x + dx, p.y + dy)) {
                return true;
            }
        }
    }
    return false;
}

void VXRedliningObject::appendPath(cairo_t* cr, const RedliningPath& path) {
    cairo_new_path(cr);
    for (const auto& e : path.elements()) {
        switch (e.kind) {
            case RedliningPath::Kind::Move:
                cairo_move_to(cr, e.points[0].x, e.points[0].y);
                break;
            case RedliningPath::Kind::Line:
                cairo_line_to(cr, e.points[0].x, e.points[0].y);
                break;
            case RedliningPath::Kind::Quad: {
                double x0 = 0, y0 = 0;
                if (cairo_has_current_point(cr)) {
                    cairo_get_current_point(cr, &x0, &y0);
                }
                const auto& q = e.points[0];
                const auto& end = e.points[1];
                cairo_curve_to(cr, x0 + 2.0 / 3 * (q.x - x0), y0 + 2.0 / 3 * (q.y - y0),
                               end.x + 2.0 / 3 * (q.x - end.x), end.y + 2.0 / 3 * (q.y - end.y),
                               end.x, end.y);
                break;
            }
            case RedliningPath::Kind::Cubic:
                cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y,
                               e.points[2].x, e.points[2].y);
                break;
            case RedliningPath::Kind::Close:
                cairo_close_path(cr);
                break;
        }
    }
}

void VXRedliningObject::notify(const char* name) {
    NotificationCenter::shared().post(name);
}

void VXRedliningObject::beginGesture() {
    gestureStart_ = transform_;
    resetScaleFactor_ = 1;
    resetRotationAngle_ = 0;
}

void VXRedliningObject::finishGesture() {
    gestureStart_ = transform_;
}

void VXRedliningObject::translateLayerWithSize(double dx, double dy) {
    notify("translateDidBegin");
    transform_ = RedliningTransform::translation(dx, dy).after(transform_);
    notify("translateDidFinshed");
}

void VXRedliningObject::translateLayerWithSizeFromIdentity(double dx, double dy) {
    notify("translateDidBegin");
    transform_ = RedliningTransform::translation(dx, dy).after(gestureStart_);
    notify("translateDidFinshed");
}

void VXRedliningObject::scaleLayerWithFactor(double factor) {
    notify("scaleDidBegin");
    transform_ = transform_.after(RedliningTransform::scale(factor, factor));
    notify("scaleDidFinshed");
}

void VXRedliningObject::scaleLayerWithFactorFromIdentity(double factor) {
    notify("scaleDidBegin");
    resetScaleFactor_ = factor;
    transform_ = gestureStart_.after(RedliningTransform::scale(factor, factor));
    notify("scaleDidFinshed");
}

void VXRedliningObject::rotateLayerWithRadians(double radians) {
    notify("rotateDidBegin");
    transform_ = transform_.after(RedliningTransform::rotation(radians));
    notify("rotateDidFinshed");
}

void VXRedliningObject::rotateLayerWithRadiansFromIdentity(double radians) {
    notify("rotateDidBegin");
    resetRotationAngle_ = radians;
    transform_ = gestureStart_.after(RedliningTransform::rotation(radians));
    notify("rotateDidFinshed");
}

double VXRedliningObject::rotation() const {
    return std::atan2(transform_.b, transform_.a);
}
double VXRedliningObject::scaleX() const {
    return std::hypot(transform_.a, transform_.b);
}
double VXRedliningObject::scaleY() const {
    return std::hypot(transform_.c, transform_.d);
}

bool VXRedliningObject::scaleToFrame(const RedliningRect& n) {
    const RedliningRect& f = superLayerFrame_;
    double sx = n.width / f.width;
    double sy = n.height / f.height;
    // A factor of zero would collapse the object for good and NaN would poison its geometry,
    // so only finite factors above zero are applied.
    if (!std::isfinite(sx) || !std::isfinite(sy) || !(sx > 0) || !(sy > 0)) {
        PW_LOG_ERROR("scale is nan");
        return false;
    }
    if (frame_.isZero()) {
        PW_LOG_ERROR("frame is CGRectZero");
        return false;
    }
    frame_ = {frame_.x * sx, frame_.y * sy, frame_.width * sx, frame_.height * sy};
    if (path_) {
        path_ = path_->transformed(RedliningTransform::scale(sx, sy));
    }
    // The move part belongs to the overlay's scale too; the turn and zoom stay as they are.
    transform_.tx *= sx;
    transform_.ty *= sy;
    scaleContent(sx, sy);
    superLayerFrame_ = {0, 0, n.width, n.height};
    return true;
}

void VXRedliningObject::setupSelectedState() {
    selected_ = true;
}

void VXRedliningObject::setupDrawingState() {
    selected_ = false;
}

void VXRedliningObject::encodeWithCoder(KeyedArchiver& archiver) const {
    archiver.encodeString("affineTransform", RedliningGeometry::formatTransform(transform_));
    archiver.encodeReference("strokeColor",
                             RedliningArchiveValues::addColor(archiver, strokeColor_));
    archiver.encodeReference("fillColor", RedliningArchiveValues::addColor(archiver, fillColor_));
    archiver.encodeString("frame", RedliningGeometry::formatRect(frame_));
    archiver.encodeString("superFrame", RedliningGeometry::formatRect(superLayerFrame_));
    archiver.encodeString("pageFrame", RedliningGeometry::formatRect(pageFrame_));
    if (path_) {
        archiver.encodeReference("path", RedliningArchiveValues::addPath(archiver, *path_));
    }
    archiver.encodeString("startPoint", RedliningGeometry::formatPoint(startPoint_));
    archiver.encodeInteger("page", page_);
}

void VXRedliningObject::initWithCoder(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object) {
    using V = RedliningArchiveValues;
    if (auto t = V::transform(archive, object, "affineTransform")) {
        transform_ = *t;
    }
    if (auto c = V::color(archive, object, "strokeColor")) {
        strokeColor_ = *c;
    }
    if (auto c = V::color(archive, object, "fillColor")) {
        fillColor_ = *c;
    }
    if (auto r = V::rect(archive, object, "frame")) {
        frame_ = *r;
    }
    if (auto r = V::rect(archive, object, "superFrame")) {
        superLayerFrame_ = *r;
    }
    if (auto r = V::rect(archive, object, "pageFrame")) {
        pageFrame_ = *r;
    }
    if (auto p = V::path(archive, object, "path")) {
        path_ = std::move(*p);
    }
    if (auto p = V::point(archive, object, "startPoint")) {
        startPoint_ = *p;
    }
    if (auto page = V::finiteNumber(archive, object, "page")) {
        page_ = static_cast<int>(*page);
    }
}

}  // namespace pagewell
