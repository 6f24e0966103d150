#include "library/ShelfResultList.h"

#include <unordered_map>

#include "library/ShelfTitleOrder.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "store/Database.h"

namespace pagewell {

namespace {

std::string buildRowSql() {
    std::string sql = std::string("SELECT ") + File::kRowColumns +
                      ", s.pk, IFNULL(s.read, 0), IFNULL(s.favorite, 0), "
                      "IFNULL(s.pretendDeletion, 0), s.position, s.sortIdManual, s.file, s.user, "
                      "IFNULL(s.removedByServer, 0) FROM FileState s JOIN File f ON f.pk = s.file "
                      "WHERE s.pk IN (";
    for (std::size_t i = 0; i < ShelfResultList::kBatchSize; ++i) {
        sql += i == 0 ? "?" : ",?";
    }
    return sql + ")";
}

FileState readState(const Statement& row, int first) {
    FileState state;
    state.pk = row.integer(first);
    state.read = row.boolean(first + 1);
    state.favorite = row.boolean(first + 2);
    state.pretendDeletion = row.boolean(first + 3);
    state.position = row.optionalInteger(first + 4);
    state.sortIdManual = row.optionalInteger(first + 5);
    state.file = row.optionalInteger(first + 6);
    state.user = row.optionalInteger(first + 7);
    state.removedByServer = row.boolean(first + 8);
    return state;
}

}  // namespace

ShelfResultList::ShelfResultList(StoreContext& context, ShelfDatabaseFilter filter,
                                 ScopeSource scope)
    : context_(context),
      filter_(std::move(filter)),
      scope_(std::move(scope)),
      center_(NotificationCenter::sharedPointer()) {
    std::weak_ptr<bool> alive = alive_;
    std::shared_ptr<std::atomic<bool>> pending = pending_;
    std::shared_ptr<MainQueue> queue = MainQueue::sharedPointer();
    token_ = center_->addObserver(StoreContext::kStoreDidChangeEvent,
                                  [this, alive, pending, queue](const Notification&) {
                                      // Several commits in a row cost one re-run.
                                      if (pending->exchange(true)) {
                                          return;
                                      }
                                      queue->post([this, alive] {
                                          if (alive.lock()) {
                                              storeChanged();
                                          }
                                      });
                                  });
}

ShelfResultList::~ShelfResultList() {
    *alive_ = false;
    center_->removeObserver(token_);
}

std::string ShelfResultList::keySql(const ShelfDatabaseFilter& filter,
                                    const std::optional<ShelfPredicate>& predicate,
                                    const std::string& collation) {
    std::string sql = "SELECT s.pk FROM FileState s JOIN File f ON f.pk = s.file";
    if (predicate) {
        sql += " WHERE " + predicate->sql;
    }
    return sql + filter.orderBy(collation);
}

const std::string& ShelfResultList::rowSql() {
    static const std::string sql = buildRowSql();
    return sql;
}

Status ShelfResultList::performFetch() {
    Database& database = context_.database();
    auto collation = ShelfTitleOrder::install(database);
    if (!collation.ok()) {
        return collation.error();
    }
    const ShelfScope scope = scope_();
    std::optional<ShelfPredicate> predicate = filter_.predicate(scope);
    std::string sql = keySql(filter_, predicate, collation.value());
    auto statement = database.prepare(sql);
    if (!statement.ok()) {
        return statement.error();
    }
    if (predicate) {
        predicate->bindTo(*statement.value());
    }
    std::vector<std::int64_t> keys;
    keys.reserve(keys_.size());
    if (Status read =
            statement.value()->eachRow([&keys](Statement& row) { keys.push_back(row.integer(0)); });
        !read.ok()) {
        return read.error();
    }
    keys_ = std::move(keys);
    batch_.clear();
    ++runs_;
    lastSql_ = std::move(sql);
    lastPredicate_ = std::move(predicate);
    return {};
}

void ShelfResultList::storeChanged() {
    pending_->store(false);
    if (auto status = performFetch(); !status.ok()) {
        PW_LOG_ERROR_VALUE(status.error());
        return;
    }
    if (onChange_) {
        onChange_();
    }
}

Status ShelfResultList::readBatch(std::size_t first) {
    auto statement = context_.database().prepare(rowSql());
    if (!statement.ok()) {
        return statement.error();
    }
    const std::size_t end = std::min(keys_.size(), first + kBatchSize);
    std::unordered_map<std::int64_t, std::size_t> slots;
    for (std::size_t i = first; i < first + kBatchSize; ++i) {
        // Unused places ask for key 0, which no row has.
        const std::int64_t key = i < end ? keys_[i] : 0;
        statement.value()->bind(static_cast<int>(i - first + 1), key);
        if (i < end) {
            slots[key] = i - first;
        }
    }
    std::vector<std::optional<Row>> batch(end - first);
    if (Status read = statement.value()->eachRow([&](Statement& found) {
            Row row{readState(found, File::kRowColumnCount), File::fromRow(found)};
            auto slot = slots.find(row.state.pk);
            if (slot != slots.end()) {
                batch[slot->second] = std::move(row);
            }
        });
        !read.ok()) {
        return read.error();
    }
    batch_ = std::move(batch);
    batchFirst_ = first;
    return {};
}

Result<std::optional<ShelfResultList::Row>> ShelfResultList::rowAt(std::size_t index) {
    if (index >= keys_.size()) {
        return std::optional<Row>();
    }
    if (batch_.empty() || index < batchFirst_ || index >= batchFirst_ + batch_.size()) {
        if (auto status = readBatch(index - index % kBatchSize); !status.ok()) {
            return status.error();
        }
    }
    return batch_[index - batchFirst_];
}

Result<std::vector<ShelfResultList::Row>> ShelfResultList::rows(std::size_t first,
                                                                std::size_t count) {
    std::vector<Row> rows;
    const std::size_t end = std::min(keys_.size(), first + count);
    for (std::size_t index = first; index < end; ++index) {
        auto row = rowAt(index);
        if (!row.ok()) {
            return row.error();
        }
        if (row.value()) {
            rows.push_back(std::move(*row.value()));
        }
    }
    return rows;
}

std::vector<std::string> ShelfResultList::statements() const {
    std::string printed = lastSql_;
    if (lastPredicate_) {
        ShelfPredicate whole{lastSql_, lastPredicate_->arguments};
        printed = whole.printed();
    }
    return {printed, rowSql()};
}

}  // namespace pagewell
