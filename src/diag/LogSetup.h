#pragma once
// Registers the log destinations of the application with the logging facade, as the start-up
// sequence does before anything else is logged: the system log, the rotating file log
// (1,048,576 bytes a file, a new file every 86,400 seconds, at most 7 files), and, when the user
// asked for verbose output, an echo of every line on standard error.
//
// Calling initLogger again never adds a second copy of a destination: the same options leave
// everything as it is; other options replace the destinations of the earlier call. Destroying
// the LogSetup removes what it registered.
// Thread-safe: mutex_ serialises set-up and tear-down.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "diag/RotatingFileLogSink.h"
#include "platform/Logger.h"

namespace pagewell {

class LogSetup {
  public:
    struct Options {
        std::filesystem::path logsDirectory;  // normally FileAreas::shared().logs()
        bool verbose = false;
        std::FILE* echoStream = stderr;  // where the verbose echo goes

        bool operator==(const Options&) const = default;
    };

    LogSetup();
    ~LogSetup();
    LogSetup(const LogSetup&) = delete;
    LogSetup& operator=(const LogSetup&) = delete;

    // The process-wide set-up used by the start-up sequence.
    static LogSetup& shared();

    // Returns the file log, which the log export asks for its files.
    std::shared_ptr<RotatingFileLogSink> initLogger(const Options& options);
    std::shared_ptr<RotatingFileLogSink> fileLogger() const;
    // Removes every destination this set-up registered.
    void tearDown();

    static RotatingFileLogSink::Limits fileLimits() { return {}; }

  private:
    void tearDownLocked();

    mutable std::mutex mutex_;
    std::optional<Options> options_;                    // guarded by mutex_
    std::vector<std::shared_ptr<LogSink>> registered_;  // guarded by mutex_
    std::shared_ptr<RotatingFileLogSink> fileLogger_;   // guarded by mutex_
};

}  // namespace pagewell
