#include "redlining/VXRedliningLineObject.h"

#include <cairo.h>

#include <cmath>

#include "redlining/RedliningArchiveValues.h"
#include "redlining/VXRedliningStateManager.h"

namespace pagewell {

VXRedliningLineObject::VXRedliningLineObject(const RedliningRect& overlayBounds)
    : VXRedliningObject(overlayBounds) {
    const auto& state = VXRedliningStateManager::getInstance();
    strokeColor_ = state.getCurrentColor();
    fillColor_ = RedliningColor::clear();
    lineWidth_ = state.getCurrentLineWidth();
    dashPattern_ = state.getCurrentLineDashPattern();
    opacity_ = state.getCurrentAlphaValue();
}

std::unique_ptr<VXRedliningObject> VXRedliningLineObject::clone() const {
    return std::make_unique<VXRedliningLineObject>(*this);
}

std::vector<std::string> VXRedliningLineObject::classChain() const {
    return {"VXRedliningLineObject", "VXRedliningObject", "CAShapeLayerWithNSCoding",
            "CAShapeLayer",          "CALayer",           "NSObject"};
}

void VXRedliningLineObject::performDrawOperation(RedliningPoint point, GestureState state) {
    RedliningPoint p = toContent(point);
    if (state == Began) {
        startPoint_ = point;
        counter_ = 0;
        points_[0] = p;
        currentPath_ = RedliningPath();
        currentPath_.moveTo(p);
        path_ = currentPath_;
        return;
    }
    if (state != Changed || counter_ >= 4) {
        return;
    }
    points_[++counter_] = p;
    if (counter_ == 4) {
        points_[3] = {(points_[2].x + points_[4].x) / 2, (points_[2].y + points_[4].y) / 2};
        currentPath_.curveTo(points_[1], points_[2], points_[3]);
        points_[0] = points_[3];
        points_[1] = points_[4];
        counter_ = 1;
        path_ = currentPath_;
    }
}

const std::vector<double>& VXRedliningLineObject::lineDashPattern() const {
    return dashPattern_;
}

void VXRedliningLineObject::setLineDashPatternAnimated(std::vector<double> pattern) {
    if (selected_) {
        savedDashPattern_ = std::move(pattern);
    } else {
        dashPattern_ = std::move(pattern);
    }
}

void VXRedliningLineObject::setupSelectedState() {
    if (selected_) {
        return;
    }
    VXRedliningObject::setupSelectedState();
    savedDashPattern_ = dashPattern_;
    dashPattern_ = look_.dashPattern;
}

void VXRedliningLineObject::setupDrawingState() {
    if (!selected_) {
        return;
    }
    VXRedliningObject::setupDrawingState();
    dashPattern_ = savedDashPattern_;
    dashPhase_ = 0;
}

void VXRedliningLineObject::strokeStyle(cairo_t* cr) const {
    cairo_set_source_rgba(cr, strokeColor_.red, strokeColor_.green, strokeColor_.blue,
                          strokeColor_.alpha * opacity_);
    cairo_set_line_width(cr, lineWidth_);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    if (!dashPattern_.empty()) {
        cairo_set_dash(cr, dashPattern_.data(), static_cast<int>(dashPattern_.size()), dashPhase_);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
}

void VXRedliningLineObject::drawContent(cairo_t* cr) const {
    if (!path_ || path_->isEmpty()) {
        return;
    }
    appendPath(cr, *path_);
    if (fillColor_.alpha > 0) {
        cairo_set_source_rgba(cr, fillColor_.red, fillColor_.green, fillColor_.blue,
                              fillColor_.alpha * opacity_);
        cairo_fill_preserve(cr);
    }
    strokeStyle(cr);
    cairo_stroke(cr);
}

void VXRedliningLineObject::encodeWithCoder(KeyedArchiver& archiver) const {
    VXRedliningObject::encodeWithCoder(archiver);
    archiver.encodeDouble("opacity", opacity_);
    archiver.encodeDouble("lineWidth", lineWidth_);
    archiver.encodeDouble("lineDashPhase", selected_ ? 0 : dashPhase_);
    const auto& dash = selected_ ? savedDashPattern_ : dashPattern_;
    if (!dash.empty()) {
        archiver.encodeReference("lineDashPattern",
                                 RedliningArchiveValues::addNumbers(archiver, dash));
    }
}

void VXRedliningLineObject::initWithCoder(const KeyedUnarchiver& archive,
                                          KeyedUnarchiver::Ref object) {
    using V = RedliningArchiveValues;
    VXRedliningObject::initWithCoder(archive, object);
    if (auto v = V::finiteNumber(archive, object, "opacity"); v && *v >= 0 && *v <= 1) {
        opacity_ = *v;
    }
    if (auto v = V::finiteNumber(archive, object, "lineWidth"); v && *v >= 0 && *v <= 1000) {
        lineWidth_ = *v;
    }
    if (auto v = V::finiteNumber(archive, object, "lineDashPhase")) {
        dashPhase_ = *v;
    }
    if (auto v = V::numbers(archive, object, "lineDashPattern")) {
        dashPattern_ = std::move(*v);
    }
}

void VXRedliningLineObject::spanShape(RedliningPoint point, GestureState state,
                                      RedliningPath (*shape)(const RedliningRect&)) {
    if (state == Began) {
        startPoint_ = point;
        return;
    }
    path_ = shape(RedliningGeometry::rectFromPoint(toContent(startPoint_), toContent(point)));
}

bool VXRedliningLineObject::shapeSpansSomething() const {
    if (!path_) {
        return false;
    }
    RedliningRect r = path_->bounds();
    return r.width > 0 || r.height > 0;
}

}  // namespace pagewell
