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
    if (state == Began) {
        startPoint_ = point;
        return;
    }
    RedliningRect r = RedliningGeometry::rectFromPoint(toContent(startPoint_), toContent(point));
    path_ = RedliningPath::ellipseInRect(r);
}

bool VXRedliningCircleObject::drawsSomething() const {
    if (!path_) {
        return false;
    }
    RedliningRect r = path_->bounds();
    return r.width > 0 || r.height > 0;
}

}  // namespace pagewell
