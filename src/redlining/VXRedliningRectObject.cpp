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
    if (state == Began) {
        startPoint_ = point;
        return;
    }
    RedliningRect r = RedliningGeometry::rectFromPoint(toContent(startPoint_), toContent(point));
    path_ = RedliningPath::rectangle(r);
}

bool VXRedliningRectObject::drawsSomething() const {
    if (!path_) {
        return false;
    }
    RedliningRect r = path_->bounds();
    return r.width > 0 || r.height > 0;
}

}  // namespace pagewell
