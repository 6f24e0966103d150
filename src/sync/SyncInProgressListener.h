#pragma once
// What the synchronisation screen offers the sync manager: an automatic synchronisation that
// starts or ends its downloads tells the screen, so its buttons show the running state.
//
// Threading: called on the main queue only.

namespace pagewell {

class SyncInProgressListener {
  public:
    virtual ~SyncInProgressListener() = default;
    // true when a synchronisation begins its downloads, false when it has ended.
    virtual void setupButtonsForSyncInProgress(bool inProgress) = 0;
};

}  // namespace pagewell
