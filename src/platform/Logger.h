#pragma once
// The logging facade: five levels, messages handed to every registered sink.
// Thread-safe: log() may be called from any thread; sinks are called one message at a time.
// The core never prints: what reaches a terminal, the system log or a file is decided by the
// sinks that the start-up sequence (or a test) registers.

#include <fmt/format.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

enum class LogFlag : int { Error = 1, Warning = 2, Info = 4, Debug = 8, Verbose = 16 };

struct LogMessage {
    LogFlag flag = LogFlag::Info;
    SystemTime timestamp;
    std::string fileName;  // source file name without directory and extension
    std::string function;
    unsigned long line = 0;
    std::string message;
};

class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void write(const LogMessage& message) = 0;
    virtual void flush() {}
};

class Logger {
  public:
    static Logger& shared();

    void addSink(std::shared_ptr<LogSink> sink);
    void removeSink(const std::shared_ptr<LogSink>& sink);
    void removeAllSinks();
    void flush();

    // `file` may be a full path (__FILE__); it is cut to the base name without extension.
    void log(LogFlag flag, const char* file, const char* function, unsigned long line,
             std::string message);

    static std::string baseNameWithoutExtension(const char* path);

  private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<LogSink>> sinks_;  // guarded by mutex_
};

// Logs a failure in the system's one form: "Error[code]: description".
void logError(const Error& error, const char* file, const char* function, unsigned long line);

}  // namespace pagewell

#define PW_LOG_AT(flag, ...) \
    ::pagewell::Logger::shared().log(flag, __FILE__, __func__, __LINE__, ::fmt::format(__VA_ARGS__))
#define PW_LOG_ERROR(...) PW_LOG_AT(::pagewell::LogFlag::Error, __VA_ARGS__)
#define PW_LOG_WARNING(...) PW_LOG_AT(::pagewell::LogFlag::Warning, __VA_ARGS__)
#define PW_LOG_INFO(...) PW_LOG_AT(::pagewell::LogFlag::Info, __VA_ARGS__)
#define PW_LOG_DEBUG(...) PW_LOG_AT(::pagewell::LogFlag::Debug, __VA_ARGS__)
#define PW_LOG_VERBOSE(...) PW_LOG_AT(::pagewell::LogFlag::Verbose, __VA_ARGS__)
#define PW_LOG_ERROR_VALUE(error) ::pagewell::logError((error), __FILE__, __func__, __LINE__)
