#pragma once
// What the start-up migrations share: their one-time flags in the user defaults and the way
// they end a unit of store work (a failure is logged and rolled back, never left half-done in
// the main context). Main thread only.

#include <string>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class MigrationSupport {
  public:
    // The main context of the shared store; nullptr when no store is open.
    static StoreContext* mainContext();

    // The user-defaults boolean `flag`; absent means not done.
    static bool isDone(const std::string& flag);
    // Sets `flag` to true; a failed write is logged (the migration then runs again next time).
    static void markDone(const std::string& flag);

    // Saves `context` when `work` succeeded and the context holds changes; otherwise rolls it
    // back and logs the error. Returns the first failure.
    static Status finish(StoreContext& context, Status work);
};

}  // namespace pagewell
