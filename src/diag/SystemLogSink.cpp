#include "diag/SystemLogSink.h"

#include <syslog.h>

namespace pagewell {

SystemLogSink::SystemLogSink()
    : writer_(
          [](int priority, const std::string& line) { ::syslog(priority, "%s", line.c_str()); }),
      ownsConnection_(true) {
    ::openlog(kIdent, LOG_PID | LOG_NDELAY, LOG_USER);
}

SystemLogSink::SystemLogSink(Writer writer) : writer_(std::move(writer)) {}

SystemLogSink::~SystemLogSink() {
    if (ownsConnection_) {
        ::closelog();
    }
}

void SystemLogSink::write(const LogMessage& message) {
    writer_(priorityFor(message.flag), formatter_.formatLogMessage(message));
}

int SystemLogSink::priorityFor(LogFlag flag) {
    switch (flag) {
        case LogFlag::Error:
            return LOG_ERR;
        case LogFlag::Warning:
            return LOG_WARNING;
        case LogFlag::Info:
            return LOG_INFO;
        case LogFlag::Debug:
        case LogFlag::Verbose:
            return LOG_DEBUG;
    }
    return LOG_NOTICE;
}

}  // namespace pagewell
