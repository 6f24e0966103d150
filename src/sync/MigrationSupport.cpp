#include "sync/MigrationSupport.h"

#include <memory>

#include "platform/Logger.h"
#include "platform/UserDefaults.h"
#include "store/PersistentStore.h"
#include "store/StoreContext.h"

namespace pagewell {

StoreContext* MigrationSupport::mainContext() {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    return store ? &store->mainContext() : nullptr;
}

bool MigrationSupport::isDone(const std::string& flag) {
    return UserDefaults::shared().boolValue(flag);
}

void MigrationSupport::markDone(const std::string& flag) {
    if (Status written = UserDefaults::shared().set(flag, PlistValue(true)); !written.ok()) {
        PW_LOG_ERROR_VALUE(written.error());
    }
}

Status MigrationSupport::finish(StoreContext& context, Status work) {
    if (!work.ok()) {
        PW_LOG_ERROR_VALUE(work.error());
        context.rollback();
        return work;
    }
    if (!context.hasChanges() && !context.inWrite()) {
        return {};
    }
    if (Status saved = context.save(); !saved.ok()) {
        PW_LOG_ERROR_VALUE(saved.error());
        return saved;
    }
    return {};
}

}  // namespace pagewell
