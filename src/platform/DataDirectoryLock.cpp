#include "platform/DataDirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <thread>

#include "platform/FileAreas.h"
#include "platform/FileSystem.h"

namespace pagewell {

Result<DataDirectoryLock> DataDirectoryLock::acquire(std::chrono::milliseconds wait) {
    return acquire(FileAreas::shared().lockFile(), wait);
}

Result<DataDirectoryLock> DataDirectoryLock::acquire(const Path& lockFile,
                                                     std::chrono::milliseconds wait) {
    if (lockFile.has_parent_path()) {
        if (auto status = FileSystem::createDirectories(lockFile.parent_path()); !status.ok()) {
            return status.error();
        }
    }
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error::fromErrno(errno, "cannot open lock file " + lockFile.string());
    }
    // Attempts are counted instead of reading a clock: the wait is a bound on how long a
    // command may block, not a point in the app's time, and test clocks must not stall it.
    const std::int64_t attempts =
        1 + (wait.count() > 0
                 ? (wait + kPollInterval - std::chrono::milliseconds{1}) / kPollInterval
                 : 0);
    for (std::int64_t attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(std::min(kPollInterval, wait));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return DataDirectoryLock(lockFile, fd);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            Error error = Error::fromErrno(errno, "cannot lock " + lockFile.string());
            ::close(fd);
            return error;
        }
    }
    ::close(fd);
    const Path directory = lockFile.has_parent_path() ? lockFile.parent_path() : Path(".");
    return Error::make(kErrorDomain, kHeldElsewhere,
                       "another pagewell process is using " + directory.string());
}

DataDirectoryLock::DataDirectoryLock(DataDirectoryLock&& other) noexcept
    : path_(std::move(other.path_)), fd_(other.fd_) {
    other.fd_ = -1;
}

DataDirectoryLock& DataDirectoryLock::operator=(DataDirectoryLock&& other) noexcept {
    if (this != &other) {
        release();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

DataDirectoryLock::~DataDirectoryLock() {
    release();
}

void DataDirectoryLock::release() noexcept {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace pagewell
