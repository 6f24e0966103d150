#include "platform/Logger.h"

namespace pagewell {

Logger& Logger::shared() {
    static Logger logger;
    return logger;
}

void Logger::addSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(mutex_);
    sinks_.push_back(std::move(sink));
}

void Logger::removeSink(const std::shared_ptr<LogSink>& sink) {
    std::lock_guard lock(mutex_);
    std::erase(sinks_, sink);
}

void Logger::removeAllSinks() {
    std::lock_guard lock(mutex_);
    sinks_.clear();
}

void Logger::flush() {
    std::lock_guard lock(mutex_);
    for (auto& sink : sinks_) {
        sink->flush();
    }
}

std::string Logger::baseNameWithoutExtension(const char* path) {
    std::string name = path ? path : "";
    if (auto slash = name.find_last_of('/'); slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    if (auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

void Logger::log(LogFlag flag, const char* file, const char* function, unsigned long line,
                 std::string message) {
    LogMessage entry{
        flag, Clock::shared().now(), baseNameWithoutExtension(file), function ? function : "",
        line, std::move(message)};
    std::lock_guard lock(mutex_);
    for (auto& sink : sinks_) {
        sink->write(entry);
    }
}

void logError(const Error& error, const char* file, const char* function, unsigned long line) {
    Logger::shared().log(LogFlag::Error, file, function, line, error.toString());
}

}  // namespace pagewell
