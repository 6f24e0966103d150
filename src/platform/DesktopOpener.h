#pragma once
// Hands a file that the app does not show itself (a video, a web page, a PDF the user wants in
// another program) to the desktop's own opener. Implementations: SystemDesktopOpener starts a
// program; RecordingDesktopOpener only remembers what it was asked to open.

#include "platform/Error.h"

#include <string>

namespace pagewell {

class DesktopOpener {
  public:
    virtual ~DesktopOpener() = default;
    // Starts opening `path` and returns without waiting for the program that shows it.
    // Fails when no program could be started.
    virtual Status open(const std::string& path) = 0;
};

}  // namespace pagewell
