#include "diag/StderrLogSink.h"

namespace pagewell {

void StderrLogSink::write(const LogMessage& message) {
    std::string line = formatter_.formatLogMessage(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fflush(stream_);
}

void StderrLogSink::flush() {
    std::fflush(stream_);
}

}  // namespace pagewell
