#include "sync/ResetTimestamp.h"

#include "sync/MigrationSupport.h"
#include "sync/TimestampManager.h"

namespace pagewell {

bool ResetTimestamp::resetTimestamps() {
    if (!MigrationSupport::isDone(kDoneFlag)) {
        TimestampManager::resetAllTimestamps();
        MigrationSupport::markDone(kDoneFlag);
    }
    return true;
}

}  // namespace pagewell
