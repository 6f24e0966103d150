#pragma once
// One writer at a time: a command that changes the store holds an exclusive flock on the data
// directory's lock file for as long as it runs. The lock belongs to the open file description,
// so it is released when the holder is destroyed or the process ends, even after a crash.
// A lock object is owned by one thread; acquire() may be called from any thread.

#include <chrono>
#include <filesystem>

#include "platform/Error.h"

namespace pagewell {

class DataDirectoryLock {
  public:
    using Path = std::filesystem::path;

    static constexpr const char* kErrorDomain = "DataDirectoryLockErrorDomain";
    // The lock is still held by someone else after the wait; the command line maps it to
    // exit code 6.
    static constexpr int kHeldElsewhere = 1;
    static constexpr std::chrono::milliseconds kDefaultWait{10'000};
    static constexpr std::chrono::milliseconds kPollInterval{50};

    // Takes the lock on FileAreas::shared().lockFile(), retrying for up to `wait`.
    static Result<DataDirectoryLock> acquire(std::chrono::milliseconds wait = kDefaultWait);
    // Takes the lock on `lockFile` (created owner-only when missing, with its directory),
    // retrying every kPollInterval for up to `wait`; a zero wait tries once. Fails with
    // kHeldElsewhere ("another pagewell process is using DIR") or the system's error.
    static Result<DataDirectoryLock> acquire(const Path& lockFile,
                                             std::chrono::milliseconds wait = kDefaultWait);

    DataDirectoryLock(DataDirectoryLock&& other) noexcept;
    DataDirectoryLock& operator=(DataDirectoryLock&& other) noexcept;
    DataDirectoryLock(const DataDirectoryLock&) = delete;
    DataDirectoryLock& operator=(const DataDirectoryLock&) = delete;
    ~DataDirectoryLock();  // releases the lock

    const Path& path() const { return path_; }
    bool held() const { return fd_ >= 0; }

  private:
    DataDirectoryLock(Path path, int fd) : path_(std::move(path)), fd_(fd) {}
    void release() noexcept;

    Path path_;
    int fd_ = -1;
};

}  // namespace pagewell
