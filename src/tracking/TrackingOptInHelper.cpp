#include "tracking/TrackingOptInHelper.h"

namespace pagewell {

Status TrackingOptInHelper::setTrackingAccepted(bool accepted) {
    if (Status status = defaults_.set(kAcceptedKey, PlistValue(accepted)); !status)
        return status;
    if (Status status = defaults_.set(kShowedKey, PlistValue(true)); !status)
        return status;
    return defaults_.synchronize();
}

bool TrackingOptInHelper::trackingAccepted() const {
    return questionAnswered() && defaults_.boolValue(kAcceptedKey, false);
}

bool TrackingOptInHelper::questionAnswered() const {
    return defaults_.boolValue(kShowedKey, false);
}

}  // namespace pagewell
