#pragma once
// Hands each log line to the system log (syslog(3), ident "pagewell"), with a priority that
// matches the level. The line leaves out the timestamp: the system log stamps every entry itself,
// and a second date in the text would only disagree with it in format and time zone.
// Called by the Logger one message at a time; syslog(3) itself is safe from any thread.

#include <functional>
#include <string>

#include "diag/VXLumberJackFormatter.h"
#include "platform/Logger.h"

namespace pagewell {

class SystemLogSink final : public LogSink {
  public:
    // Receives a syslog priority (LOG_ERR, ...) and the formatted line.
    using Writer = std::function<void(int priority, const std::string& line)>;

    static constexpr const char* kIdent = "pagewell";

    // Writes to syslog(3); opens the connection under kIdent and closes it again on destruction.
    SystemLogSink();
    // Writes through `writer` instead, for tests.
    explicit SystemLogSink(Writer writer);
    ~SystemLogSink() override;
    SystemLogSink(const SystemLogSink&) = delete;
    SystemLogSink& operator=(const SystemLogSink&) = delete;

    void write(const LogMessage& message) override;

    static int priorityFor(LogFlag flag);

  private:
    Writer writer_;
    bool ownsConnection_ = false;
    const VXLumberJackFormatter formatter_{VXLumberJackFormatter::Timestamp::Omitted};
};

}  // namespace pagewell
