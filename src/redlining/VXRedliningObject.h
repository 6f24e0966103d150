#pragma once
// A drawn thing on a page overlay: the archivable shape layer (transform, colours, frame, path,
// the overlay frame it was made in, the page frame) plus its start point, page key and selected
// state. The layer's content lives in its own space: a point q of it appears on the overlay at
// c + T(q + o - c), with o the frame's origin, c the frame's centre and T the transform, so
// moves, scales and rotations turn about the frame's centre.
// Subclasses build themselves from touches, draw and answer hit tests. Main queue only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "redlining/RedliningColor.h"
#include "redlining/RedliningGeometry.h"
#include "redlining/RedliningPath.h"

typedef struct _cairo cairo_t;

namespace pagewell {

class VXRedliningPage;

// How a selected object looks, for a front end to animate: a black shadow fading in, and
// dashes crawling along the outline (the phase runs from 0 to `dashPhaseEnd` and again).
struct RedliningSelectedLook {
    double shadowRadius = 2.0;
    double shadowOpacity = 1.0;
    double fadeInSeconds = 0.5;
    std::vector<double> dashPattern{14, 7};
    double dashPhaseEnd = 6;
};

class VXRedliningObject {
  public:
    enum class Kind { Stroke, Ellipse, Rect, Text, Image };
    enum GestureState { Began = 1, Changed = 2, Ended = 3 };

    // Draw types of the state manager: 0 freehand, 1 marker, 2 ellipse, 3 rectangle, 4 text,
    // 5 image. None for another number.
    static std::unique_ptr<VXRedliningObject> create(int drawType,
                                                     const RedliningRect& overlayBounds);
    virtual ~VXRedliningObject() = default;
    virtual std::unique_ptr<VXRedliningObject> clone() const = 0;

    virtual Kind kind() const = 0;
    // The class followed by its ancestors, as archived.
    virtual std::vector<std::string> classChain() const = 0;

    // Touch input in overlay coordinates.
    virtual void performDrawOperation(RedliningPoint point, GestureState state) = 0;
    // False when the object ended up drawing nothing (an empty path, a zero-size box).
    virtual bool drawsSomething() const;

    virtual bool pathHitTest(RedliningPoint overlayPoint) const;
    // Draws the object onto a context whose user space is the overlay's.
    void draw(cairo_t* cr) const;
    static void appendPath(cairo_t* cr, const RedliningPath& path);
    // The overlay area the object can paint on, line width included.
    virtual RedliningRect boundsOnOverlay() const;

    // Moves, scales and rotates compose with the current transform; the "FromIdentity" forms
    // apply the value to the transform the gesture began with. begin/finish bracket a gesture.
    void beginGesture();
    void finishGesture();
    void translateLayerWithSize(double dx, double dy);
    void translateLayerWithSizeFromIdentity(double dx, double dy);
    void scaleLayerWithFactor(double factor);
    void scaleLayerWithFactorFromIdentity(double factor);
    void rotateLayerWithRadians(double radians);
    void rotateLayerWithRadiansFromIdentity(double radians);

    // Rescales to a new overlay frame; false (and logged) when refused.
    bool scaleToFrame(const RedliningRect& newOverlayFrame);

    virtual void setupSelectedState();
    virtual void setupDrawingState();
    bool selected() const { return selected_; }

    // Archiving: the object's keys into the archiver's current object / from an object.
    virtual void encodeWithCoder(KeyedArchiver& archiver) const;
    virtual void initWithCoder(const KeyedUnarchiver& archive, KeyedUnarchiver::Ref object);

    // Values and derived values.
    const RedliningTransform& transform() const { return transform_; }
    void setTransform(const RedliningTransform& t) { transform_ = t; }
    const RedliningRect& frame() const { return frame_; }
    void setFrame(const RedliningRect& r) { frame_ = r; }
    const RedliningRect& superLayerFrame() const { return superLayerFrame_; }
    void setSuperLayerFrame(const RedliningRect& r) { superLayerFrame_ = r; }
    const RedliningRect& pageFrame() const { return pageFrame_; }
    void setPageFrame(const RedliningRect& r) { pageFrame_ = r; }
    const std::optional<RedliningPath>& path() const { return path_; }
    void setPath(std::optional<RedliningPath> path) { path_ = std::move(path); }
    const RedliningColor& strokeColor() const { return strokeColor_; }
    void setStrokeColor(const RedliningColor& c) { strokeColor_ = c; }
    const RedliningColor& fillColor() const { return fillColor_; }
    RedliningPoint startPoint() const { return startPoint_; }
    int page() const { return page_; }
    void setPage(int page) { page_ = page; }
    VXRedliningPage* redliningPage() const { return redliningPage_; }
    void setRedliningPage(VXRedliningPage* page) { redliningPage_ = page; }
    double rotation() const;
    double scaleX() const;
    double scaleY() const;
    double transX() const { return transform_.tx; }
    double transY() const { return transform_.ty; }
    // Content space to overlay.
    RedliningTransform toOverlay() const;

    virtual double lineWidth() const { return 0; }
    virtual double opacity() const { return 1; }
    virtual const std::vector<double>& lineDashPattern() const;

  protected:
    VXRedliningObject() = default;
    explicit VXRedliningObject(const RedliningRect& overlayBounds);
    VXRedliningObject(const VXRedliningObject&) = default;
    // Paints the content in content space (the transform is already set).
    virtual void drawContent(cairo_t* cr) const = 0;
    // Content kept beside the frame and path (a text box) follows a rescale.
    virtual void scaleContent(double /*sx*/, double /*sy*/) {}
    RedliningPoint toContent(RedliningPoint overlayPoint) const;
    void notify(const char* name);

    RedliningTransform transform_;
    RedliningColor strokeColor_;
    RedliningColor fillColor_;
    RedliningRect frame_;
    std::optional<RedliningPath> path_;
    RedliningRect superLayerFrame_;
    RedliningRect pageFrame_;
    RedliningPoint startPoint_;
    int page_ = 0;
    bool selected_ = false;
    VXRedliningPage* redliningPage_ = nullptr;
    RedliningTransform gestureStart_;
    double resetScaleFactor_ = 1;
    double resetRotationAngle_ = 0;
};

}  // namespace pagewell
