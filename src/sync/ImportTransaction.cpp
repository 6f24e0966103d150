#include "sync/ImportTransaction.h"

#include <exception>

#include "platform/Logger.h"
#include "store/FindOrCreateBatch.h"
#include "store/PersistentStore.h"

namespace pagewell {

Status ImportTransaction::run(const Body& body) {
    auto store = PersistentStore::shared();
    if (!store) {
        return Error::make(kAppErrorDomain, -1, "No store is open.");
    }
    return run(*store, body);
}

Status ImportTransaction::run(PersistentStore& store, const Body& body) {
    auto context = store.newPrivateContext();
    if (!context.ok()) {
        return context.error();
    }
    StoreContext& ctx = *context.value();
    Status result;
    {
        FindOrCreateBatch batch(ctx);
        if (!batch.begun().ok()) {
            return batch.begun();
        }
        try {
            result = body(ctx);
        } catch (const std::exception& e) {
            // A wrong-typed value the checks missed must not cross the module boundary.
            result = Error::make(kAppErrorDomain, -1, std::string("Import failed: ") + e.what());
        }
        if (result.ok()) {
            result = batch.commit();
        }
    }
    if (!result.ok()) {
        ctx.rollback();
        PW_LOG_ERROR_VALUE(result.error());
    }
    return result;
}

}  // namespace pagewell
