#pragma once
// The file log: formatted lines appended to files in one directory, a new file when the current
// one would grow past the size limit or has reached the age limit, the oldest files deleted so
// that at most a fixed number remain.
//
// File names sort by creation time ("pagewell 2026-12-10--02-37-21-123.log", UTC so that a
// daylight-saving change cannot reorder them; "_001", "_002", ... when two files would get the
// same name). Ages are measured with Clock::shared(), so tests move time by hand. After a restart
// the newest file is continued when it is neither too big nor too old. Files are owner-only.
//
// Thread-safe: every member function may be called from any thread; mutex_ serialises them.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "diag/VXLumberJackFormatter.h"
#include "platform/Logger.h"

namespace pagewell {

class RotatingFileLogSink final : public LogSink {
  public:
    using Path = std::filesystem::path;

    struct Limits {
        std::uint64_t maximumFileSize = 1'048'576;
        std::chrono::seconds rollingFrequency{86'400};
        std::size_t maximumNumberOfLogFiles = 7;
    };

    explicit RotatingFileLogSink(Path directory);
    RotatingFileLogSink(Path directory, Limits limits);
    ~RotatingFileLogSink() override;
    RotatingFileLogSink(const RotatingFileLogSink&) = delete;
    RotatingFileLogSink& operator=(const RotatingFileLogSink&) = delete;

    void write(const LogMessage& message) override;
    void flush() override;

    const Path& directory() const { return directory_; }
    const Limits& limits() const { return limits_; }

    // The log files of the directory, oldest first.
    std::vector<Path> logFiles() const;
    static std::vector<Path> logFilesIn(const Path& directory);

    // The file being written, once the first line has been written.
    std::optional<Path> currentFile() const;
    // The last failure to create, open or write a file. A sink cannot log its own failures, so
    // they are kept here for whoever set it up.
    std::optional<Error> lastError() const;

  private:
    void continueNewestLocked(SystemTime now);
    Status createFileLocked(SystemTime now);
    void pruneLocked();
    void closeLocked();

    const Path directory_;
    const Limits limits_;
    const VXLumberJackFormatter formatter_;

    mutable std::mutex mutex_;
    int fd_ = -1;                     // guarded by mutex_
    Path current_;                    // guarded by mutex_
    std::uint64_t size_ = 0;          // guarded by mutex_
    SystemTime created_;              // guarded by mutex_
    std::optional<Error> lastError_;  // guarded by mutex_
};

}  // namespace pagewell
