#pragma once
// The store file "Database.sqlite" and the contexts that work on it. Opening migrates the
// schema; the main context is made at once, private contexts on demand (one per background
// job). The file lives in a folder of its own (with its WAL files) below the data directory.
// Thread-safe: newPrivateContext() may be called from any thread; mainContext() belongs to
// the main thread.

#include <filesystem>
#include <memory>

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

class PersistentStore {
  public:
    using Path = std::filesystem::path;

    static Result<std::shared_ptr<PersistentStore>> open(const Path& path);

    const Path& path() const { return path_; }
    StoreContext& mainContext() { return *main_; }
    Result<std::unique_ptr<StoreContext>> newPrivateContext() const;

    // <data directory>/Library/Database/Database.sqlite
    static Path defaultPath();

    // The process-wide store, opened by the start-up sequence (or a test).
    static std::shared_ptr<PersistentStore> shared();
    static void setShared(std::shared_ptr<PersistentStore> store);

    static constexpr const char* kFileName = "Database.sqlite";
    static constexpr const char* kErrorDomain = "StoreErrorDomain";

  private:
    PersistentStore(Path path, std::unique_ptr<StoreContext> main);

    Path path_;
    std::unique_ptr<StoreContext> main_;
};

}  // namespace pagewell
