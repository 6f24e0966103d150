#pragma once
// Echoes every formatted log line to a terminal stream (standard error unless told otherwise).
// Only the command-line front end registers it, and only when asked to be verbose: the library
// itself never writes to a terminal on its own.
// Called by the Logger one message at a time; each line is written with one call, so lines of
// other writers on the same stream are not split.

#include <cstdio>

#include "diag/VXLumberJackFormatter.h"
#include "platform/Logger.h"

namespace pagewell {

class StderrLogSink final : public LogSink {
  public:
    // `stream` must outlive the sink; it is not closed.
    explicit StderrLogSink(std::FILE* stream = stderr) : stream_(stream) {}

    void write(const LogMessage& message) override;
    void flush() override;

  private:
    std::FILE* stream_;
    const VXLumberJackFormatter formatter_;
};

}  // namespace pagewell
