#pragma once
// A bulk import's one transaction. Find-or-create saves its context at once so that other
// threads find the new record; on a private context importing thousands of records that is
// a commit per record, and the commits, not the look-ups, are what the import then costs.
// Inside a batch the find-or-create operations of this thread on that context leave the
// save to the batch: the context keeps its write transaction, and with it the store's writer
// lock, from the batch's start to commit(), so no other context can write a twin meanwhile
// (other writers wait for the commit, within the busy timeout) and the identity rules hold
// as before. What changes is only when others see the records: at commit().
//
// Threading: a batch belongs to the thread that made it, like its context; the record of
// batched contexts is per thread, so batches on different threads do not see each other.

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

class FindOrCreateBatch {
  public:
    // Opens the context's write transaction.
    explicit FindOrCreateBatch(StoreContext& context);
    // Ends the batch without saving: what it wrote stays unsaved in the context.
    ~FindOrCreateBatch();
    FindOrCreateBatch(const FindOrCreateBatch&) = delete;
    FindOrCreateBatch& operator=(const FindOrCreateBatch&) = delete;

    // The result of opening the transaction.
    const Status& begun() const { return begun_; }
    // Ends the batch and saves the context.
    Status commit();

    // Saves the context unless a batch of this thread holds it (then the batch saves).
    static Status saveUnlessBatched(StoreContext& context);
    static bool holds(const StoreContext& context);

  private:
    void end();

    StoreContext* context_;
    Status begun_;
};

}  // namespace pagewell
