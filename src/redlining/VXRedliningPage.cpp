#include "redlining/VXRedliningPage.h"

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "redlining/VXRedliningImageObject.h"
#include "redlining/VXRedliningObjectManager.h"
#include "redlining/VXRedliningStateManager.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {

VXRedliningPage::VXRedliningPage(int pageNumber, const RedliningRect& overlayFrame,
                                 VXRedliningObjectManager& manager, VXRedliningStateManager& state)
    : pageNumber_(pageNumber), frame_(overlayFrame), manager_(manager), state_(state) {
    loadRedliningDataForPage();
}

VXRedliningPage::~VXRedliningPage() {
    clearRedliningPage();
}

void VXRedliningPage::loadRedliningDataForPage() {
    const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_);
    if (objects == nullptr) {
        return;
    }
    for (const auto& object : *objects) {
        object->setRedliningPage(this);
        object->setPageFrame(frame_);
        object->scaleToFrame(bounds());
    }
}

void VXRedliningPage::clearRedliningPage() {
    const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_);
    if (objects == nullptr) {
        return;
    }
    for (const auto& object : *objects) {
        if (object->redliningPage() == this) {
            object->setRedliningPage(nullptr);
        }
    }
}

void VXRedliningPage::pageWasRotated(const RedliningRect& newFrame) {
    frame_ = newFrame;
    loadRedliningDataForPage();
}

void VXRedliningPage::tap(RedliningPoint point) {
    if (!state_.getUserInteraction()) {
        return;
    }
    const auto* objects = manager_.getRedliningObjectsForPage(pageNumber_);
    if (objects == nullptr) {
        return;
    }
    std::vector<RedliningObjectPtr> hits;
    for (const auto& object : *objects) {
        bool isText = object->kind() == VXRedliningObject::Kind::Text;
        if ((!state_.getPaintMode() || isText) && object->pathHitTest(point)) {
            hits.push_back(object);
        }
    }
    // With paint mode on a tapped text note is for editing; selection is the pointer's work.
    if (state_.getPaintMode()) {
        return;
    }
    for (const auto& object : hits) {
        if (manager_.isObjectSelected(object)) {
            manager_.deselectRedliningObject(object);
        } else {
            manager_.selectRedliningObject(object);
        }
    }
}

void VXRedliningPage::pan(RedliningPoint point, VXRedliningObject::GestureState state) {
    if (!state_.getUserInteraction()) {
        return;
    }
    if (state_.getPaintMode()) {
        if (state == VXRedliningObject::Began) {
            current_ = VXRedliningObject::create(state_.getCurrentDrawType(), bounds());
            if (!current_) {
                return;
            }
            current_->setRedliningPage(this);
            current_->setSuperLayerFrame(bounds());
            current_->setPageFrame(frame_);
            if (auto* image = dynamic_cast<VXRedliningImageObject*>(current_.get());
                image && !pendingImage_.empty()) {
                if (Status set = image->setImage(pendingImage_); !set) {
                    PW_LOG_ERROR_VALUE(set.error());
                }
            }
        }
        if (!current_) {
            return;
        }
        current_->performDrawOperation(point, state);
        if (state != VXRedliningObject::Ended) {
            return;
        }
        RedliningObjectPtr drawn = std::move(current_);
        current_.reset();
        if (!drawn->drawsSomething()) {
            PW_LOG_DEBUG("Drawing with nothing to show dropped");
            return;
        }
        manager_.undoManager().beginGroup();
        manager_.addRedliningObject(drawn, pageNumber_);
        manager_.undoManager().endGroup();
        if (state_.getCurrentDrawType() > 1) {
            manager_.selectRedliningObject(drawn);
            NotificationCenter::shared().post(kSelectionButtonActive);
        }
        manager_.setRedliningHasChanges(true);
        return;
    }
    if (state == VXRedliningObject::Began) {
        panStart_ = point;
    }
    RedliningTransform move =
        RedliningTransform::translation(point.x - panStart_.x, point.y - panStart_.y);
    transformGesture(move, state);
}

void VXRedliningPage::pinch(double scale, VXRedliningObject::GestureState state) {
    if (state_.getUserInteraction() && !state_.getPaintMode()) {
        transformGesture(RedliningTransform::scale(scale, scale), state);
    }
}

void VXRedliningPage::rotate(double radians, VXRedliningObject::GestureState state) {
    if (state_.getUserInteraction() && !state_.getPaintMode()) {
        transformGesture(RedliningTransform::rotation(radians), state);
    }
}

void VXRedliningPage::transformGesture(const RedliningTransform& change,
                                       VXRedliningObject::GestureState state) {
    std::vector<RedliningObjectPtr> objects;
    for (const auto& object : manager_.getSelectedObjects()) {
        if (object->page() == pageNumber_) {
            objects.push_back(object);
        }
    }
    for (const auto& object : objects) {
        if (state == VXRedliningObject::Began) {
            object->beginGesture();
        }
    }
    if (state != VXRedliningObject::Ended) {
        for (const auto& object : objects) {
            // A translation composes outside the transform, a zoom or turn inside it.
            object->translateLayerWithSizeFromIdentity(0, 0);
            if (change.b == 0 && change.c == 0 && change.a == 1 && change.d == 1) {
                object->translateLayerWithSizeFromIdentity(change.tx, change.ty);
            } else {
                object->setTransform(object->transform().after(change));
            }
        }
        return;
    }
    // The end: go back to the start and apply the whole change as one undoable step.
    std::vector<RedliningTransform> finals;
    for (const auto& object : objects) {
        object->translateLayerWithSizeFromIdentity(0, 0);
        PW_LOG_DEBUG("obj: {} move by: {}", static_cast<const void*>(object.get()),
                     RedliningGeometry::formatTransform(change));
    }
    if (change.b == 0 && change.c == 0 && change.a == 1 && change.d == 1) {
        manager_.transformObjects(objects, change);
    } else {
        manager_.undoManager().beginGroup();
        for (const auto& object : objects) {
            RedliningTransform target = object->transform().after(change);
            RedliningTransform delta = target.after(*object->transform().inverted());
            manager_.transformObjects({object}, delta);
        }
        manager_.undoManager().endGroup();
    }
    for (const auto& object : objects) {
        object->finishGesture();
    }
    manager_.setRedliningHasChanges(true);
}

}  // namespace pagewell
