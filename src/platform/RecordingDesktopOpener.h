#pragma once
// A desktop opener that starts nothing: it records each path it is asked to open, and can be
// told to fail, so tests see what would have been handed to the desktop.

#include "platform/DesktopOpener.h"

#include <optional>
#include <string>
#include <vector>

namespace pagewell {

class RecordingDesktopOpener final : public DesktopOpener {
  public:
    Status open(const std::string& path) override;

    const std::vector<std::string>& openedPaths() const { return opened_; }
    // Every later open fails with `error` (and records nothing) until cleared with nullopt.
    void setFailure(std::optional<Error> error) { failure_ = std::move(error); }

  private:
    std::vector<std::string> opened_;
    std::optional<Error> failure_;
};

}  // namespace pagewell
