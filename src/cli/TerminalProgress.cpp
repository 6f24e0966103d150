#include "cli/TerminalProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/TerminalText.h"

namespace pagewell::cli {

namespace {
constexpr int kBarWidth = 30;

// The terminal's width less one, so the cursor never wraps; 79 when it cannot be asked.
std::size_t lineWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return static_cast<std::size_t>(size.ws_col) - 1;
    }
    return 79;
}

std::string barFor(long done, long total) {
    const int filled = static_cast<int>(done * kBarWidth / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    return bar;
}
}  // namespace

TerminalProgress::TerminalProgress(std::string unit)
    : unit_(std::move(unit)), enabled_(::isatty(STDERR_FILENO) != 0) {}

TerminalProgress::~TerminalProgress() {
    finish();
}

void TerminalProgress::update(long done, long total) {
    if (!enabled_ || total <= 0) {
        return;
    }
    const int permille = static_cast<int>(done * 1000 / total);
    if (permille == lastPermille_) {
        return;
    }
    lastPermille_ = permille;
    std::string bar = barFor(done, total);
    std::fprintf(stderr, "\r[%s] %ld/%ld %s", bar.c_str(), done, total, unit_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::update(long done, long total, const std::string& detail) {
    if (!enabled_ || total <= 0) {
        return;
    }
    std::string line = "[" + barFor(std::min(done, total), total) + "] " + std::to_string(done) +
                       "/" + std::to_string(total) + " " + unit_ +
                       (detail.empty() ? "" : "  " + TerminalText::escape(detail));
    if (const std::size_t width = lineWidth(); line.size() > width) {
        line.resize(width);
    }
    if (line == lastLine_) {
        return;
    }
    lastLine_ = line;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
        // The next update draws the line again.
        lastPermille_ = -1;
        lastLine_.clear();
    }
}

}  // namespace pagewell::cli
