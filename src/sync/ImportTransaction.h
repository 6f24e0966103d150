#pragma once
// One import answer's one transaction: a private context of the shared store held in a
// find-or-create batch, so every find-or-create of the import writes into the same open
// transaction instead of committing record by record. run() commits when the body succeeds
// and rolls everything back when it fails or throws, so an answer is applied whole or not at
// all, and the caller's "returns after commit" promise holds.
//
// Threading: a transaction belongs to the thread that runs it (like its context). While it is
// open it holds the store's writer lock (BEGIN IMMEDIATE); other writers wait for the commit.

#include <functional>
#include <memory>

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

class FindOrCreateBatch;
class PersistentStore;

class ImportTransaction {
  public:
    using Body = std::function<Status(StoreContext& context)>;

    // Runs `body` in a new transaction on the shared store (or `store`). The body's failure,
    // a failure to commit, and any exception the body throws all roll back; the result is
    // then that error (exceptions become kAppErrorDomain, code -1).
    static Status run(const Body& body);
    static Status run(PersistentStore& store, const Body& body);
};

}  // namespace pagewell
