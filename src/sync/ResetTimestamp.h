#pragma once
// A one-time reset of every change timestamp, so that the first synchronisation after an
// update fetches the whole catalogue again. Thread-safe (user defaults only).

namespace pagewell {

class ResetTimestamp {
  public:
    // When "RESET_TIMESTAMPS_v2.6.8" is not set: TimestampManager::resetAllTimestamps, then
    // set the flag. Always true.
    static bool resetTimestamps();

    static constexpr const char* kDoneFlag = "RESET_TIMESTAMPS_v2.6.8";
};

}  // namespace pagewell
