#include "redlining/VXRedliningTextObject.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/Logger.h"
#include "redlining/RedliningArchiveValues.h"
#include "redlining/VXRedliningStateManager.h"

namespace pagewell {

VXRedliningTextObject::VXRedliningTextObject(const RedliningRect& overlayBounds)
    : VXRedliningObject(overlayBounds) {
    const auto& state = VXRedliningStateManager::getInstance();
    strokeColor_ = state.getCurrentColor();
    setTextViewText(state.getCurrentText());
    frame_ = {};
}

std::unique_ptr<VXRedliningObject> VXRedliningTextObject::clone() const {
    return std::make_unique<VXRedliningTextObject>(*this);
}

std::vector<std::string> VXRedliningTextObject::classChain() const {
    return {"VXRedliningTextObject", "VXRedliningObject", "CAShapeLayerWithNSCoding",
            "CAShapeLayer",          "CALayer",           "NSObject"};
}

void VXRedliningTextObject::performDrawOperation(RedliningPoint point, GestureState state) {
    if (state == Began) {
        startPoint_ = point;
        return;
    }
    frame_ = RedliningGeometry::rectFromPoint(startPoint_, point);
}

void VXRedliningTextObject::setTextViewText(std::string text) {
    if (text.size() > kMaxTextBytes) {
        std::size_t cut = kMaxTextBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        text.resize(cut);
    }
    text_ = std::move(text);
}

RedliningRect VXRedliningTextObject::boundsOnOverlay() const {
    RedliningTransform t = toOverlay();
    RedliningPoint corners[4] = {t.apply({0, 0}), t.apply({frame_.width, 0}),
                                 t.apply({0, frame_.height}),
                                 t.apply({frame_.width, frame_.height})};
    RedliningRect r{corners[0].x, corners[0].y, 0, 0};
    for (const auto& p : corners) {
        double right = std::max(r.x + r.width, p.x);
        double bottom = std::max(r.y + r.height, p.y);
        r.x = std::min(r.x, p.x);
        r.y = std::min(r.y, p.y);
        r.width = right - r.x;
        r.height = bottom - r.y;
    }
    return r;
}

bool VXRedliningTextObject::pathHitTest(RedliningPoint overlayPoint) const {
    if (!boundsOnOverlay().contains(overlayPoint)) {
        return false;
    }
    RedliningPoint p = toContent(overlayPoint);
    return RedliningRect{0, 0, frame_.width, frame_.height}.contains(p);
}

void VXRedliningTextObject::drawContent(cairo_t* cr) const {
    if (frame_.isEmpty() || text_.empty()) {
        return;
    }
    // One layout context and font per thread: making them for every note dominates drawing.
    struct Shared {
        PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
        PangoFontDescription* font = [] {
            PangoFontDescription* description = pango_font_description_from_string("Sans");
            pango_font_description_set_absolute_size(description, kFontSize * PANGO_SCALE);
            return description;
        }();
        ~Shared() {
            pango_font_description_free(font);
            g_object_unref(context);
        }
    };
    thread_local Shared shared;
    pango_cairo_update_context(cr, shared.context);
    PangoLayout* layout = pango_layout_new(shared.context);
    pango_layout_set_font_description(layout, shared.font);
    pango_layout_set_width(layout, static_cast<int>(frame_.width * PANGO_SCALE));
    pango_layout_set_height(layout, static_cast<int>(frame_.height * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_text(layout, text_.data(), static_cast<int>(text_.size()));
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, frame_.width, frame_.height);
    cairo_clip(cr);
    cairo_set_source_rgba(cr, strokeColor_.red, strokeColor_.green, strokeColor_.blue,
                          strokeColor_.alpha);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

void VXRedliningTextObject::encodeWithCoder(KeyedArchiver& archiver) const {
    VXRedliningObject::encodeWithCoder(archiver);
    archiver.encodeString("scaleFrame", RedliningGeometry::formatRect(frame_));
    auto colour = RedliningArchiveValues::addColor(archiver, strokeColor_);
    archiver.encodeReference("foregroundColor", colour);
    archiver.beginObject({"UITextView", "UIScrollView", "UIView", "UIResponder", "NSObject"});
    archiver.encodeString("UIText", text_);
    archiver.encodeReference("UITextColor", colour);
    archiver.encodeReference("superTextView", archiver.endObject());
}

void VXRedliningTextObject::initWithCoder(const KeyedUnarchiver& archive,
                                          KeyedUnarchiver::Ref object) {
    using V = RedliningArchiveValues;
    VXRedliningObject::initWithCoder(archive, object);
    if (auto r = V::rect(archive, object, "scaleFrame"); r && frame_.isZero()) {
        frame_ = *r;
    }
    if (auto c = V::color(archive, object, "foregroundColor")) {
        strokeColor_ = *c;
    }
    if (auto view = archive.decodeReference(object, "superTextView")) {
        auto text = V::text(archive, *view, "UIText");
        if (!text) {
            text = V::text(archive, *view, "UIAttributedText");
        }
        if (text) {
            setTextViewText(std::move(*text));
        }
        if (auto c = V::color(archive, *view, "UITextColor")) {
            strokeColor_ = *c;
        }
    }
}

}  // namespace pagewell
