#include "cli/TerminalProgress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace pagewell::cli {

namespace {
constexpr int kBarWidth = 30;
}

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
    const int filled = permille * kBarWidth / 1000;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %ld/%ld %s", bar.c_str(), done, total, unit_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        drawn_ = false;
    }
}

}  // namespace pagewell::cli
