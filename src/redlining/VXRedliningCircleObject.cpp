#include "redlining/VXRedliningCircleObject.h"

namespace pagewell {

std::unique_ptr<VXRedliningObject> VXRedliningCircleObject::clone() const {
    return std::make_unique<VXRedliningCircleObject>(*this);
}

std::vector<std::string> VXRedliningCircleObject::classChain() const {
    return {"VXRedliningCircleObject",
            "VXRedliningLineObject",
            "VXRedliningObject",
            "CAShapeLayerWithNSCoding",
            "CAShapeLayer",
            "CALayer",
            "NSObject"};
}

void VXRedliningCircleObject::performDrawOperation(RedliningPoint point, GestureState state) {
    spanShape(point, state, &RedliningPath::ellipseInRect);
}

bool VXRedliningCircleObject::drawsSomething() const {
    return shapeSpansSomething();
}

}  // namespace pagewell
