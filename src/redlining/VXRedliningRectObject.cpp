#include "redlining/VXRedliningRectObject.h"

namespace pagewell {

std::unique_ptr<VXRedliningObject> VXRedliningRectObject::clone() const {
    return std::make_unique<VXRedliningRectObject>(*this);
}

std::vector<std::string> VXRedliningRectObject::classChain() const {
    return {"VXRedliningRectObject",
            "VXRedliningLineObject",
            "VXRedliningObject",
            "CAShapeLayerWithNSCoding",
            "CAShapeLayer",
            "CALayer",
            "NSObject"};
}

void VXRedliningRectObject::performDrawOperation(RedliningPoint point, GestureState state) {
    spanShape(point, state, &RedliningPath::rectangle);
}

bool VXRedliningRectObject::drawsSomething() const {
    return shapeSpansSomething();
}

}  // namespace pagewell
