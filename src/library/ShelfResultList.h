#pragma once
// The live result list of a shelf: the keys of the FileStates a filter shows, in its order,
// with the rows (state and file) read in batches of kBatchSize as they are asked for. Every
// store change ("StoreDidChangeEvent", from any context and thread) re-runs the query on the
// main queue, several changes in a row once, and then calls the change callback. The list
// only reads: a re-run never writes, so a screen refreshing on it never triggers itself.
//
// Threading: made, used and destroyed on the main thread, with the main context.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/ShelfDatabaseFilter.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "store/File.h"
#include "store/FileState.h"
#include "store/StoreContext.h"

namespace pagewell {

class ShelfResultList {
  public:
    struct Row {
        FileState state;
        File file;
    };
    using ScopeSource = std::function<ShelfScope()>;
    using ChangeCallback = std::function<void()>;

    // `scope` is asked again at each run (time and reachability move); default: current.
    ShelfResultList(StoreContext& context, ShelfDatabaseFilter filter,
                    ScopeSource scope = ShelfScope::current);
    ~ShelfResultList();
    ShelfResultList(const ShelfResultList&) = delete;
    ShelfResultList& operator=(const ShelfResultList&) = delete;

    // Runs the query now.
    Status performFetch();
    const std::vector<std::int64_t>& keys() const { return keys_; }
    std::size_t count() const { return keys_.size(); }
    // The row at `index`, reading its batch when it is not the one held; none when the index
    // is out of range or the record went away since the last run.
    Result<std::optional<Row>> rowAt(std::size_t index);
    // Up to `count` rows from `first` on, batch by batch.
    Result<std::vector<Row>> rows(std::size_t first, std::size_t count);

    // Called on the main queue after each re-run that store changes caused.
    void setChangeCallback(ChangeCallback callback) { onChange_ = std::move(callback); }
    // How many runs the list made (the first included).
    std::size_t runs() const { return runs_; }

    const ShelfDatabaseFilter& filter() const { return filter_; }
    // The statement of the key query, its values written in, and the row statement.
    std::vector<std::string> statements() const;

    static constexpr std::size_t kBatchSize = 100;
    // The key query of `filter` under `scope` with `collation` as title order.
    static std::string keySql(const ShelfDatabaseFilter& filter,
                              const std::optional<ShelfPredicate>& predicate,
                              const std::string& collation);
    static const std::string& rowSql();

  private:
    Status readBatch(std::size_t first);
    void storeChanged();

    StoreContext& context_;
    ShelfDatabaseFilter filter_;
    ScopeSource scope_;
    std::vector<std::int64_t> keys_;
    std::size_t batchFirst_ = 0;
    std::vector<std::optional<Row>> batch_;
    std::size_t runs_ = 0;
    ChangeCallback onChange_;
    std::shared_ptr<NotificationCenter> center_;
    NotificationCenter::Token token_{};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::shared_ptr<std::atomic<bool>> pending_ = std::make_shared<std::atomic<bool>>(false);
    std::string lastSql_;
    std::optional<ShelfPredicate> lastPredicate_;
};

}  // namespace pagewell
