#pragma once
// A store context: one SQLite connection with at most one open write transaction. Writers
// call beginWrite() before their first change and note which entities they touched; save()
// commits and then posts "StoreDidChangeEvent" naming those entities, so live queries re-run.
// Unsaved work is rolled back when the context goes away.
//
// Threading: a context belongs to one thread at a time. The main context serves the main
// thread; background work takes a private context of its own from PersistentStore. Contexts
// see each other's work once it is saved (WAL: readers never block the writer).
//
// Work outside the database that follows a change inside it (removing the files a deleted
// record named, its annotation set, a pending reminder) is handed to afterCommit(): it runs
// once the write transaction commits and is dropped when it rolls back, so a rolled-back
// deletion leaves the disk as the records still describe it.

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class Database;

// The user info of "StoreDidChangeEvent".
struct StoreChange {
    std::set<std::string, std::less<>> entities;
    bool fromMainContext = false;

    bool touches(std::string_view entity) const { return entities.count(entity) > 0; }
};

class StoreContext {
  public:
    enum class Kind { Main, Private };

    StoreContext(std::unique_ptr<Database> database, Kind kind);
    ~StoreContext();
    StoreContext(const StoreContext&) = delete;
    StoreContext& operator=(const StoreContext&) = delete;

    Kind kind() const { return kind_; }
    Database& database() { return *database_; }

    // Opens the write transaction unless one is open. BEGIN IMMEDIATE takes the write lock at
    // once, so two contexts never both read-then-write and deadlock on the upgrade.
    Status beginWrite();
    bool inWrite() const;
    void noteChanged(std::string_view entity);
    bool hasChanges() const { return !changed_.empty(); }

    // Runs `action` right after the open write transaction commits; drops it when the
    // transaction rolls back. With no transaction open (nothing to undo) it runs at once.
    // Actions run on the committing thread in the order they were handed in; an exception
    // from one is logged and does not stop the others.
    void afterCommit(std::function<void()> action);

    // Commits the open transaction (if any), runs the after-commit actions and posts the
    // change notification.
    Status save();
    // Drops everything since the last save, the after-commit actions included.
    void rollback();

    static constexpr const char* kStoreDidChangeEvent = "StoreDidChangeEvent";

  private:
    std::unique_ptr<Database> database_;
    Kind kind_;
    std::set<std::string, std::less<>> changed_;
    std::vector<std::function<void()>> afterCommit_;
};

}  // namespace pagewell
