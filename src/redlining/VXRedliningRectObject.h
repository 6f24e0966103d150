#pragma once
// The outline of the rectangle from the start point to the touch.

#include "redlining/VXRedliningLineObject.h"

namespace pagewell {

class VXRedliningRectObject : public VXRedliningLineObject {
  public:
    using VXRedliningLineObject::VXRedliningLineObject;
    std::unique_ptr<VXRedliningObject> clone() const override;
    Kind kind() const override { return Kind::Rect; }
    std::vector<std::string> classChain() const override;
    void performDrawOperation(RedliningPoint point, GestureState state) override;
    bool drawsSomething() const override;
};

}  // namespace pagewell
