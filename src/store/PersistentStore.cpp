#include "store/PersistentStore.h"

#include <mutex>

#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "store/Database.h"
#include "store/Schema.h"

namespace pagewell {

namespace {
std::mutex gStoreMutex;
std::shared_ptr<PersistentStore> gStore;  // guarded by gStoreMutex
}  // namespace

PersistentStore::PersistentStore(Path path, std::unique_ptr<StoreContext> main)
    : path_(std::move(path)), main_(std::move(main)) {}

Result<std::shared_ptr<PersistentStore>> PersistentStore::open(const Path& path) {
    if (Status made = FileSystem::createDirectories(path.parent_path()); !made.ok()) {
        return made.error();
    }
    auto database = Database::open(path);
    if (!database.ok()) {
        return database.error();
    }
    if (Status migrated = Schema::migrate(*database.value()); !migrated.ok()) {
        return migrated.error();
    }
    // The store holds the user's catalogue state: owner-only like every other file.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        Path file = path.string() + suffix;
        std::error_code ec;
        if (std::filesystem::exists(file, ec)) {
            (void)FileSystem::protect(file);
        }
    }
    auto main =
        std::make_unique<StoreContext>(std::move(database).value(), StoreContext::Kind::Main);
    return std::shared_ptr<PersistentStore>(new PersistentStore(path, std::move(main)));
}

Result<std::unique_ptr<StoreContext>> PersistentStore::newPrivateContext() const {
    auto database = Database::open(path_);
    if (!database.ok()) {
        return database.error();
    }
    return std::make_unique<StoreContext>(std::move(database).value(), StoreContext::Kind::Private);
}

PersistentStore::Path PersistentStore::defaultPath() {
    return FileAreas::shared().dataDirectory() / "Library" / "Database" / kFileName;
}

std::shared_ptr<PersistentStore> PersistentStore::shared() {
    std::lock_guard lock(gStoreMutex);
    return gStore;
}

void PersistentStore::setShared(std::shared_ptr<PersistentStore> store) {
    std::lock_guard lock(gStoreMutex);
    gStore = std::move(store);
}

}  // namespace pagewell
