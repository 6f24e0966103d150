#pragma once
// A freehand stroke: touches are smoothed into cubic segments five points at a time, the way
// the drawing buffer works (a partial tail of fewer than four points is not drawn). Also the
// base of the ellipse and rectangle objects, which share its line style.

#include <vector>

#include "redlining/VXRedliningObject.h"

namespace pagewell {

class VXRedliningLineObject : public VXRedliningObject {
  public:
    // Takes its style from the state manager.
    explicit VXRedliningLineObject(const RedliningRect& overlayBounds);
    VXRedliningLineObject() = default;
    std::unique_ptr<VXRedliningObject> clone() const override;

    Kind kind() const override { return Kind::Stroke; }
    std::vector<std::string> classChain() const override;
    void performDrawOperation(RedliningPoint point, GestureState state) override;

    void setupSelectedState() override;
    void setupDrawingState() override;
    const RedliningSelectedLook& selectedLook() const { return look_; }

    double lineWidth() const override { return lineWidth_; }
    double opacity() const override { return opacity_; }
    const std::vector<double>& lineDashPattern() const override;
    double lineDashPhase() const { return dashPhase_; }
    void setLineWidthAnimated(double width) { lineWidth_ = width; }
    void setLineColorAnimated(const RedliningColor& color) { strokeColor_ = color; }
    void setLineAlphaAnimated(double alpha) { opacity_ = alpha; }
    void setLineDashPatternAnimated(std::vector<double> pattern);

    void encodeWithCoder(KeyedArchiver& archiver) const override;
    void initWithCoder(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object) override;

  protected:
    void drawContent(cairo_t* cr) const override;
    void strokeStyle(cairo_t* cr) const;

    // The ellipse and the rectangle: a shape spanned from the first touch to the current one,
    // which `shape` makes from that rectangle. It draws something once it has a width or height.
    void spanShape(RedliningPoint point, GestureState state,
                   RedliningPath (*shape)(const RedliningRect&));
    bool shapeSpansSomething() const;

    RedliningPoint points_[5];
    int counter_ = 0;
    RedliningPath currentPath_;
    double lineWidth_ = 2.0;
    double opacity_ = 1.0;
    std::vector<double> dashPattern_;
    double dashPhase_ = 0;
    std::vector<double> savedDashPattern_;
    RedliningSelectedLook look_;
};

}  // namespace pagewell
