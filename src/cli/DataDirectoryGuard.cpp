#include "cli/DataDirectoryGuard.h"

#include <cstdlib>
#include <string>

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"

namespace pagewell::cli {

namespace {

// How long to wait for another pagewell to finish; PAGEWELL_LOCK_WAIT_MS overrides it.
std::chrono::milliseconds lockWait() {
    if (const char* text = std::getenv("PAGEWELL_LOCK_WAIT_MS"); text && *text) {
        char* end = nullptr;
        long value = std::strtol(text, &end, 10);
        if (end && *end == '\0' && value >= 0) {
            return std::chrono::milliseconds(value);
        }
    }
    return DataDirectoryLock::kDefaultWait;
}

}  // namespace

DataDirectoryGuard::DataDirectoryGuard(const CommandContext& context) {
    // The lock file lies in the data directory the options chose, which the file areas point
    // at only once the application is configured.
    if (context.application) {
        context.application->configure();
    }
    const FileAreas& areas = FileAreas::shared();
    if (Status created = FileSystem::createDirectories(areas.dataDirectory()); !created.ok()) {
        context.output.failure("cannot use the data directory " + areas.dataDirectory().string() +
                                   " (" + created.error().description + ")",
                               &created.error());
        exitCode_ = kExitFailure;
        return;
    }
    auto lock = DataDirectoryLock::acquire(areas.lockFile(), lockWait());
    if (!lock.ok()) {
        context.output.failure(lock.error().description, &lock.error());
        exitCode_ = lock.error().domain == DataDirectoryLock::kErrorDomain &&
                            lock.error().code == DataDirectoryLock::kHeldElsewhere
                        ? kExitDataDirectoryBusy
                        : kExitFailure;
        return;
    }
    lock_.emplace(std::move(lock).value());
}

}  // namespace pagewell::cli
