#include "net/BiometricAuthHelper.h"

#include "platform/Logger.h"
#include "platform/MainQueue.h"

namespace pagewell {

bool BiometricAuthHelper::isBiometricIDAvailable() {
    return isTouchIDAvailable() || isFaceIDAvailable();
}

bool BiometricAuthHelper::isTouchIDAvailable() {
    return false;
}

bool BiometricAuthHelper::isFaceIDAvailable() {
    return false;
}

Error BiometricAuthHelper::unavailableError() {
    return Error::make(kErrorDomain, kNotAvailableCode, kNotAvailable);
}

void BiometricAuthHelper::evaluateBiometricFeature(const std::string& reason,
                                                   std::function<void(bool success)> completion) {
    PW_LOG_INFO("Biometric login asked for ({}): {}", reason, kNotAvailable);
    MainQueue::shared().post([completion = std::move(completion)] {
        if (completion) {
            completion(false);
        }
    });
}

}  // namespace pagewell
