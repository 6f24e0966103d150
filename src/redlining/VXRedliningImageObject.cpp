#include "redlining/VXRedliningImageObject.h"

#include <cairo.h>

#include <algorithm>

#include "platform/Logger.h"
#include "redlining/RedliningArchiveValues.h"

namespace pagewell {

VXRedliningImageObject::VXRedliningImageObject(const RedliningRect& overlayBounds)
    : VXRedliningObject(overlayBounds) {
    frame_ = {};
}

std::unique_ptr<VXRedliningObject> VXRedliningImageObject::clone() const {
    return std::make_unique<VXRedliningImageObject>(*this);
}

std::vector<std::string> VXRedliningImageObject::classChain() const {
    return {"VXRedliningImageObject", "VXRedliningObject", "CAShapeLayerWithNSCoding",
            "CAShapeLayer",           "CALayer",           "NSObject"};
}

void VXRedliningImageObject::performDrawOperation(RedliningPoint point, GestureState state) {
    if (state == Began) {
        startPoint_ = point;
        return;
    }
    frame_ = RedliningGeometry::rectFromPoint(startPoint_, point);
}

Status VXRedliningImageObject::setImage(std::string_view bytes, int orientation) {
    auto png = RedliningImage::prepare(bytes, orientation);
    if (!png) {
        return png.error();
    }
    image_ = std::move(png.value());
    surface_.reset();
    return {};
}

RedliningRect VXRedliningImageObject::boundsOnOverlay() const {
    RedliningTransform t = toOverlay();
    RedliningPoint corners[4] = {t.apply({0, 0}), t.apply({frame_.width, 0}),
                                 t.apply({0, frame_.height}),
                                 t.apply({frame_.width, frame_.height})};
    double minX = corners[0].x, maxX = minX, minY = corners[0].y, maxY = minY;
    for (const auto& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

bool VXRedliningImageObject::pathHitTest(RedliningPoint overlayPoint) const {
    if (!boundsOnOverlay().contains(overlayPoint)) {
        return false;
    }
    return RedliningRect{0, 0, frame_.width, frame_.height}.contains(toContent(overlayPoint));
}

void VXRedliningImageObject::drawContent(cairo_t* cr) const {
    if (frame_.isEmpty() || image_.empty()) {
        return;
    }
    if (!surface_) {
        auto decoded = RedliningImage::decode(image_);
        if (!decoded) {
            PW_LOG_WARNING("Picture not drawn: {}", decoded.error().description);
            surface_ = std::make_shared<RedliningSurface>();
            return;
        }
        surface_ = std::make_shared<RedliningSurface>(std::move(decoded.value()));
    }
    cairo_surface_t* surface = surface_->get();
    if (surface == nullptr) {
        return;
    }
    double w = cairo_image_surface_get_width(surface);
    double h = cairo_image_surface_get_height(surface);
    double scale = std::min(frame_.width / w, frame_.height / h);
    cairo_save(cr);
    cairo_translate(cr, (frame_.width - w * scale) / 2, (frame_.height - h * scale) / 2);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void VXRedliningImageObject::encodeWithCoder(KeyedArchiver& archiver) const {
    VXRedliningObject::encodeWithCoder(archiver);
    archiver.encodeData("image", image_);
}

void VXRedliningImageObject::initWithCoder(const KeyedUnarchiver& archive,
                                           KeyedUnarchiver::Ref object) {
    VXRedliningObject::initWithCoder(archive, object);
    auto data = RedliningArchiveValues::imageData(archive, object, "image");
    if (!data) {
        return;
    }
    auto size = RedliningImage::pixelSize(*data);
    if (!size ||
        static_cast<long long>(size->width) * size->height > RedliningImage::kMaxSourcePixels) {
        PW_LOG_WARNING("Picture of a drawn object skipped: unreadable or too large");
        return;
    }
    image_ = std::move(*data);
}

}  // namespace pagewell
