#include "diag/LogSetup.h"

#include "diag/StderrLogSink.h"
#include "diag/SystemLogSink.h"

namespace pagewell {

LogSetup::LogSetup() {
    // Makes sure the facade is built before any set-up, so that it is destroyed after the
    // process-wide set-up and tearDown() never reaches a destroyed facade at exit.
    Logger::shared();
}

LogSetup::~LogSetup() {
    tearDown();
}

LogSetup& LogSetup::shared() {
    static LogSetup setup;
    return setup;
}

std::shared_ptr<RotatingFileLogSink> LogSetup::initLogger(const Options& options) {
    std::lock_guard lock(mutex_);
    if (options_ == options) {
        return fileLogger_;
    }
    std::shared_ptr<RotatingFileLogSink> file = fileLogger_;
    if (!options_ || options_->logsDirectory != options.logsDirectory) {
        file = std::make_shared<RotatingFileLogSink>(options.logsDirectory, fileLimits());
    }
    tearDownLocked();

    registered_.push_back(std::make_shared<SystemLogSink>());
    registered_.push_back(file);
    if (options.verbose) {
        registered_.push_back(std::make_shared<StderrLogSink>(options.echoStream));
    }
    for (const auto& sink : registered_) {
        Logger::shared().addSink(sink);
    }
    options_ = options;
    fileLogger_ = std::move(file);
    return fileLogger_;
}

std::shared_ptr<RotatingFileLogSink> LogSetup::fileLogger() const {
    std::lock_guard lock(mutex_);
    return fileLogger_;
}

void LogSetup::tearDown() {
    std::lock_guard lock(mutex_);
    tearDownLocked();
    options_.reset();
    fileLogger_.reset();
}

void LogSetup::tearDownLocked() {
    for (const auto& sink : registered_) {
        Logger::shared().removeSink(sink);
    }
    registered_.clear();
}

}  // namespace pagewell
