#pragma once
// A text note: a box drawn from the start point to the touch, holding text laid out at 14
// points in the colour current when it was made. Its frame is the box.

#include <string>

#include "redlining/VXRedliningObject.h"

namespace pagewell {

class VXRedliningTextObject : public VXRedliningObject {
  public:
    static constexpr double kFontSize = 14.0;
    static constexpr std::size_t kMaxTextBytes = 64 * 1024;

    explicit VXRedliningTextObject(const RedliningRect& overlayBounds);
    VXRedliningTextObject() = default;
    std::unique_ptr<VXRedliningObject> clone() const override;
    Kind kind() const override { return Kind::Text; }
    std::vector<std::string> classChain() const override;
    void performDrawOperation(RedliningPoint point, GestureState state) override;
    bool drawsSomething() const override { return !frame_.isEmpty(); }
    bool pathHitTest(RedliningPoint overlayPoint) const override;
    RedliningRect boundsOnOverlay() const override;

    const std::string& text() const { return text_; }
    // Cut to kMaxTextBytes at a character boundary.
    void setTextViewText(std::string text);
    const RedliningColor& foregroundColor() const { return strokeColor_; }
    void setForegroundColorAnimated(const RedliningColor& color) { strokeColor_ = color; }

    void encodeWithCoder(KeyedArchiver& archiver) const override;
    void initWithCoder(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object) override;

  protected:
    void drawContent(cairo_t* cr) const override;

  private:
    std::string text_;
};

}  // namespace pagewell
