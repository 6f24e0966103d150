#pragma once
// Partial files that downloads leave behind when their process is killed (SIGKILL, a power
// cut): "<name>.partial" and "<name>.partial.XXXXXX" beside the copies in the item
// directories. Nothing else ever removes them, so a sync and a delete sweep them first. Only
// files last written before `startedAt` go: a download running in this process writes its
// partial file after that, so it is never taken from under a live transfer.
//
// Stateless; safe from any thread. Uses VXProtectedFileManager::sharedInstance() for the
// documents area.

#include <cstddef>
#include <string_view>

#include "platform/Clock.h"

namespace pagewell {

class LeftoverDownloads {
  public:
    // Removes the partial files in the item directories (direct children only) last written
    // before `startedAt`; returns how many went. Failures are logged and skipped.
    static std::size_t removeOlderThan(SystemTime startedAt);

    // "<name>.partial" or "<name>.partial.<suffix>", with a name before it.
    static bool isPartialName(std::string_view name);
};

}  // namespace pagewell
