#pragma once
// A one-line progress bar on stderr for long commands ("[#####.....] 12/40 pages"), drawn only
// when stderr is a terminal; it uses no colour.
// Not thread-safe: update it from the main queue.

#include <string>

namespace pagewell::cli {

class TerminalProgress {
  public:
    // `unit` names what is counted ("pages").
    explicit TerminalProgress(std::string unit);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    bool enabled() const { return enabled_; }
    void update(long done, long total);
    // The same with `detail` after the count (bytes, rate, ...); redrawn whenever the line
    // changes, cut to the terminal's width.
    void update(long done, long total, const std::string& detail);
    // Clears the line; a later update draws it again.
    void finish();

  private:
    std::string unit_;
    bool enabled_;
    bool drawn_ = false;
    int lastPermille_ = -1;
    std::string lastLine_;
};

}  // namespace pagewell::cli
