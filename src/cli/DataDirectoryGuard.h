#pragma once
// Holds the data-directory lock for a command that changes stored data, so that two
// `pagewell` processes never write at the same time. Reports a busy directory itself.

#include <optional>

#include "platform/DataDirectoryLock.h"

namespace pagewell::cli {

struct CommandContext;

class DataDirectoryGuard {
  public:
    explicit DataDirectoryGuard(const CommandContext& context);

    bool acquired() const { return lock_.has_value(); }
    // The exit code to return when the lock could not be taken.
    int exitCode() const { return exitCode_; }

  private:
    std::optional<DataDirectoryLock> lock_;
    int exitCode_ = 0;
};

}  // namespace pagewell::cli
