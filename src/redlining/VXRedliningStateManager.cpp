#include "redlining/VXRedliningStateManager.h"

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"

namespace pagewell {

VXRedliningStateManager& VXRedliningStateManager::getInstance() {
    static VXRedliningStateManager instance;
    return instance;
}

void VXRedliningStateManager::setPaintMode(bool on) {
    paintMode_ = on;
    PW_LOG_DEBUG("Set Paint Mode to: {}", on ? "YES" : "NO");
}

void VXRedliningStateManager::setUserInteraction(bool on) {
    userInteraction_ = on;
    PW_LOG_DEBUG("Set User Interaction: {}", on ? "YES" : "NO");
    NotificationCenter::shared().post(on ? kInteractionEnabledEvent : kInteractionDisabledEvent);
}

void VXRedliningStateManager::resetToDefaultState() {
    *this = VXRedliningStateManager();
}

}  // namespace pagewell
