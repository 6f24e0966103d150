#pragma once
// Biometric unlock of the login. This platform offers no fingerprint or face recognition
// service to the app, so every availability question answers no and an evaluation fails with
// unavailableError(), whose description says why. The login screen then hides its biometric
// button; nothing else depends on it.
// Stateless; the evaluation answers on the main queue.

#include <functional>
#include <string>

#include "platform/Error.h"

namespace pagewell {

class BiometricAuthHelper {
  public:
    static bool isBiometricIDAvailable();
    static bool isTouchIDAvailable();  // fingerprint
    static bool isFaceIDAvailable();   // face

    // Evaluates the device-owner biometric policy with `reason` shown to the user. Answers
    // (false) on the main queue here, after logging the unavailability.
    static void evaluateBiometricFeature(const std::string& reason,
                                         std::function<void(bool success)> completion);

    static Error unavailableError();

    static constexpr const char* kErrorDomain = "BiometricAuth";
    static constexpr int kNotAvailableCode = -6;
    static constexpr const char* kNotAvailable =
        "Biometric authentication is not available on this platform: Linux offers the app no "
        "fingerprint or face recognition service.";
    static constexpr const char* kReasonKey = "LOGIN_BIOMETRIC_REASON";
    static constexpr const char* kReason = "Log in with your account";
};

}  // namespace pagewell
