#pragma once
// A picture placed in the box drawn from the start point to the touch, fitted into it with its
// proportions kept. Its frame is the box; the picture is kept as PNG.

#include <memory>
#include <string>

#include "redlining/RedliningImage.h"
#include "redlining/VXRedliningObject.h"

namespace pagewell {

class VXRedliningImageObject : public VXRedliningObject {
  public:
    explicit VXRedliningImageObject(const RedliningRect& overlayBounds);
    VXRedliningImageObject() = default;
    std::unique_ptr<VXRedliningObject> clone() const override;
    Kind kind() const override { return Kind::Image; }
    std::vector<std::string> classChain() const override;
    void performDrawOperation(RedliningPoint point, GestureState state) override;
    bool drawsSomething() const override { return !frame_.isEmpty() && !image_.empty(); }
    bool pathHitTest(RedliningPoint overlayPoint) const override;
    RedliningRect boundsOnOverlay() const override;

    // Takes a PNG or JPEG picture, upright and at most 3000 pixels on its longer side.
    Status setImage(std::string_view bytes, int orientation = 0);
    const std::string& image() const { return image_; }

    void encodeWithCoder(KeyedArchiver& archiver) const override;
    void initWithCoder(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object) override;

  protected:
    void drawContent(cairo_t* cr) const override;

  private:
    std::string image_;
    mutable std::shared_ptr<RedliningSurface> surface_;  // decoded on first drawing
};

}  // namespace pagewell
