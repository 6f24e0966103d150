#pragma once
// The user's consent to usage tracking, kept in the user defaults: whether the question was
// answered ("TRACKING_OPT_IN_SHOWED") and the answer ("TRACKING_OPT_IN_ACCEPTED"). Consent is
// only ever given explicitly; an unanswered question counts as no consent.

#include "platform/Error.h"
#include "platform/UserDefaults.h"

namespace pagewell {

class TrackingOptInHelper {
  public:
    static constexpr const char* kShowedKey = "TRACKING_OPT_IN_SHOWED";
    static constexpr const char* kAcceptedKey = "TRACKING_OPT_IN_ACCEPTED";

    explicit TrackingOptInHelper(UserDefaults& defaults) : defaults_(defaults) {}

    // Stores the answer and marks the question as answered.
    Status setTrackingAccepted(bool accepted);
    bool trackingAccepted() const;
    bool questionAnswered() const;

  private:
    UserDefaults& defaults_;
};

}  // namespace pagewell
