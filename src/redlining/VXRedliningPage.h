#pragma once
// The drawing overlay of one page, as a model: its frame is the page's fitted rectangle in the
// page view; touches arrive as events (tap, one-finger pan, pinch, rotation) in overlay
// coordinates and become drawn, selected, moved, scaled or turned objects in the manager.
// Each finished gesture is one undo step. Drawing that ends with nothing to show (a short
// stroke, a tap with a shape tool) is dropped. Main queue only.

#include <memory>

#include "redlining/RedliningArchive.h"
#include "redlining/RedliningGeometry.h"
#include "redlining/VXRedliningObject.h"

namespace pagewell {

class VXRedliningObjectManager;
class VXRedliningStateManager;

class VXRedliningPage {
  public:
    static constexpr const char* kSelectionButtonActive = "menuSetSelectionButtonActive";

    VXRedliningPage(int pageNumber, const RedliningRect& overlayFrame,
                    VXRedliningObjectManager& manager, VXRedliningStateManager& state);
    ~VXRedliningPage();
    VXRedliningPage(const VXRedliningPage&) = delete;
    VXRedliningPage& operator=(const VXRedliningPage&) = delete;

    int pageNumber() const { return pageNumber_; }
    RedliningRect bounds() const { return {0, 0, frame_.width, frame_.height}; }

    // Links the page's objects and rescales them to this overlay.
    void loadRedliningDataForPage();
    void clearRedliningPage();
    // The page view changed size (a turn of the device): objects follow the new frame.
    void pageWasRotated(const RedliningRect& newFrame);

    void tap(RedliningPoint point);
    void pan(RedliningPoint point, VXRedliningObject::GestureState state);
    void pinch(double scale, VXRedliningObject::GestureState state);
    void rotate(double radians, VXRedliningObject::GestureState state);

    // The object being drawn; none between gestures.
    const VXRedliningObject* currentRedliningObject() const { return current_.get(); }
    // Optional picture bytes for the image tool, taken by the next drawn image object.
    void setPendingImage(std::string bytes) { pendingImage_ = std::move(bytes); }

  private:
    void transformGesture(const RedliningTransform& change, VXRedliningObject::GestureState state);

    int pageNumber_;
    RedliningRect frame_;
    VXRedliningObjectManager& manager_;
    VXRedliningStateManager& state_;
    RedliningObjectPtr current_;
    RedliningPoint panStart_;
    std::string pendingImage_;
};

}  // namespace pagewell
