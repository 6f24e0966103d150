#pragma once
// The one-time repair of content languages stored twice under one server ID: the first record
// (by row order) is kept and receives the users, categories, files, favourite folders and
// imprints of the others, which are then deleted. Afterwards every change timestamp is reset.
// Main thread only (main store context of the shared store).

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class FixDuplicateLocales {
  public:
    // Once ("FIX_DUPLICATE_LOCALES_DONE"): fixDuplicateLocales, then the flag and the reset of
    // all change timestamps (whatever the outcome of the merge).
    static void migrateFixDuplicateLocales();

    // The merge itself; saves only when duplicates were found.
    static Status fixDuplicateLocales(StoreContext& context);

    static constexpr const char* kDoneFlag = "FIX_DUPLICATE_LOCALES_DONE";
};

}  // namespace pagewell
