#pragma once
// The store's tables and their versioned migrations. The version lives in PRAGMA user_version;
// each migration runs in its own transaction, so a store is always at one whole version.

#include "platform/Error.h"

namespace pagewell {

class Database;

class Schema {
  public:
    static constexpr int kCurrentVersion = 2;

    // Brings the store up to kCurrentVersion. A store written by a newer release (a higher
    // version) is refused rather than misread.
    static Status migrate(Database& database);
    static Result<int> version(Database& database);

    static constexpr const char* kErrorDomain = "StoreSchemaErrorDomain";
};

}  // namespace pagewell
