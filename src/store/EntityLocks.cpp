#include "store/EntityLocks.h"

#include <array>

namespace pagewell {

std::mutex& EntityLocks::forEntity(EntityLock entity) {
    static std::array<std::mutex, static_cast<std::size_t>(EntityLock::Other) + 1> locks;
    return locks[static_cast<std::size_t>(entity)];
}

}  // namespace pagewell
