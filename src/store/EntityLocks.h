#pragma once
// The process-wide locks around find-or-create: look-up, creation and save of one entity kind
// happen under its lock, so two threads importing at once find each other's records instead
// of creating twins (the UNIQUE indexes back this up). Thread-safe by nature.

#include <mutex>

namespace pagewell {

enum class EntityLock {
    File,
    FileCategory,
    FileState,
    FileSorting,
    CategorySorting,
    Locale,
    User,
    Beacon,
    Other,
};

class EntityLocks {
  public:
    static std::mutex& forEntity(EntityLock entity);
};

}  // namespace pagewell
