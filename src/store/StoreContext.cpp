#include "store/StoreContext.h"

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "store/Database.h"

namespace pagewell {

StoreContext::StoreContext(std::unique_ptr<Database> database, Kind kind)
    : database_(std::move(database)), kind_(kind) {}

StoreContext::~StoreContext() {
    if (database_ && database_->inTransaction()) {
        rollback();
    }
}

bool StoreContext::inWrite() const {
    return database_->inTransaction();
}

Status StoreContext::beginWrite() {
    if (database_->inTransaction()) {
        return {};
    }
    return database_->exec("BEGIN IMMEDIATE");
}

void StoreContext::noteChanged(std::string_view entity) {
    changed_.emplace(entity);
}

Status StoreContext::save() {
    if (database_->inTransaction()) {
        if (Status committed = database_->exec("COMMIT"); !committed.ok()) {
            PW_LOG_ERROR_VALUE(committed.error());
            rollback();
            return committed;
        }
    }
    if (changed_.empty()) {
        return {};
    }
    StoreChange change{std::move(changed_), kind_ == Kind::Main};
    changed_.clear();
    NotificationCenter::shared().post(kStoreDidChangeEvent, change);
    return {};
}

void StoreContext::rollback() {
    if (database_->inTransaction()) {
        if (Status rolledBack = database_->exec("ROLLBACK"); !rolledBack.ok()) {
            PW_LOG_ERROR_VALUE(rolledBack.error());
        }
    }
    changed_.clear();
}

}  // namespace pagewell
