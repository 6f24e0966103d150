#include "store/StoreContext.h"

#include <exception>
#include <utility>

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

namespace {

void runActions(std::vector<std::function<void()>> actions) {
    for (auto& action : actions) {
        try {
            action();
        } catch (const std::exception& e) {
            PW_LOG_ERROR("An action after a store commit failed: {}", e.what());
        }
    }
}

}  // namespace

void StoreContext::afterCommit(std::function<void()> action) {
    if (!action) {
        return;
    }
    if (!database_->inTransaction()) {
        // Whatever is still held belonged to a transaction SQLite rolled back by itself.
        afterCommit_.clear();
        runActions({std::move(action)});
        return;
    }
    afterCommit_.push_back(std::move(action));
}

Status StoreContext::save() {
    // Taken out first: an action may itself write through this context and save again.
    std::vector<std::function<void()>> actions = std::exchange(afterCommit_, {});
    if (database_->inTransaction()) {
        if (Status committed = database_->exec("COMMIT"); !committed.ok()) {
            PW_LOG_ERROR_VALUE(committed.error());
            rollback();
            return committed;
        }
        runActions(std::move(actions));
    } else if (!actions.empty()) {
        // Only this member commits; a transaction that ended otherwise was rolled back (SQLite
        // does so by itself on some errors), and what followed its changes goes with it.
        PW_LOG_WARNING("Dropping {} actions of a transaction that did not commit", actions.size());
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
    afterCommit_.clear();
}

}  // namespace pagewell
