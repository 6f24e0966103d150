#pragma once
// The desktop opener of a running system: the program named by $PAGEWELL_OPENER, else
// xdg-open, started with the path as its only argument (no shell, so no quoting of the path
// can go wrong). The program runs detached; it is never waited for and leaves no zombie.

#include "platform/DesktopOpener.h"

#include <optional>
#include <string>

namespace pagewell {

class SystemDesktopOpener final : public DesktopOpener {
  public:
    // `program` overrides the environment's choice (a name looked up in PATH, or a path).
    explicit SystemDesktopOpener(std::optional<std::string> program = std::nullopt);

    // The program that would be started: the override, $PAGEWELL_OPENER when set and not
    // empty, else "xdg-open".
    std::string program() const;

    Status open(const std::string& path) override;

  private:
    std::optional<std::string> program_;
};

}  // namespace pagewell
