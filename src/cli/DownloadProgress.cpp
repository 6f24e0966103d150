#include "cli/DownloadProgress.h"

#include <fmt/format.h>

#include <algorithm>

#include "cli/TerminalProgress.h"
#include "store/FileSizeText.h"
#include "sync/FileDownloadOperation.h"

namespace pagewell::cli {

namespace {

constexpr std::chrono::milliseconds kRedrawInterval{250};
constexpr std::size_t kFilesShownInFlight = 3;

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

DownloadProgress::DownloadProgress(std::uint64_t neededBytes, Sources sources)
    : neededBytes_(neededBytes),
      sources_(std::move(sources)),
      bar_(std::make_unique<TerminalProgress>("files")),
      inFlight_(std::make_shared<InFlight>()),
      started_(Clock::shared().now()) {
    // One observer for every file: the operations post under a name per file ID.
    observer_ = NotificationCenter::shared().addObserverForAllNames(
        [inFlight = inFlight_](const Notification& notification) {
            if (!startsWith(notification.name,
                            FileDownloadOperation::kProgressNotificationPrefix)) {
                return;
            }
            if (const auto* info = notification.userInfoAs<FileDownloadOperation::ProgressInfo>()) {
                std::lock_guard lock(inFlight->mutex);
                inFlight->fractions[info->fileID] = info->progress;
            }
        });
    if (bar_->enabled()) {
        ticker_ = Timer::scheduledTimer(kRedrawInterval, true, [this] { draw(); });
    }
}

DownloadProgress::~DownloadProgress() {
    NotificationCenter::shared().removeObserver(observer_);
}

void DownloadProgress::fileEnded(std::int64_t fileID, bool transferred) {
    {
        std::lock_guard lock(inFlight_->mutex);
        inFlight_->fractions.erase(fileID);
    }
    ++filesDone_;
    if (transferred) {
        ++transferredFiles_;
        auto cached = sizes_.find(fileID);
        finishedBytes_ += cached != sizes_.end() ? cached->second : sources_.fileSize(fileID);
    }
    draw();
}

std::uint64_t DownloadProgress::bytesDone() {
    std::map<std::int64_t, double> fractions;
    {
        std::lock_guard lock(inFlight_->mutex);
        fractions = inFlight_->fractions;
    }
    double partial = 0.0;
    for (const auto& [fileID, fraction] : fractions) {
        auto cached = sizes_.find(fileID);
        if (cached == sizes_.end()) {
            cached = sizes_.emplace(fileID, sources_.fileSize(fileID)).first;
        }
        partial += std::clamp(fraction, 0.0, 1.0) * static_cast<double>(cached->second);
    }
    return finishedBytes_ + static_cast<std::uint64_t>(partial);
}

void DownloadProgress::draw() {
    if (finished_ || !bar_->enabled()) {
        return;
    }
    const std::uint64_t done = bytesDone();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::shared().now() - started_);
    std::string detail = FileSizeText::stringFromFileSize(done) + "/" +
                         FileSizeText::stringFromFileSize(std::max(neededBytes_, done));
    if (elapsed.count() > 0 && done > 0) {
        const double rate =
            static_cast<double>(done) * 1000.0 / static_cast<double>(elapsed.count());
        detail += " " + FileSizeText::stringFromFileSize(static_cast<std::uint64_t>(rate)) + "/s";
        if (neededBytes_ > done) {
            auto left = static_cast<long>(static_cast<double>(neededBytes_ - done) / rate);
            detail += " ETA " + duration(std::chrono::seconds(left));
        }
    }
    std::map<std::int64_t, double> fractions;
    {
        std::lock_guard lock(inFlight_->mutex);
        fractions = inFlight_->fractions;
    }
    std::size_t shown = 0;
    for (const auto& [fileID, fraction] : fractions) {
        if (shown++ == kFilesShownInFlight) {
            detail += " …";
            break;
        }
        detail += fmt::format(" {}:{}%", fileID, static_cast<int>(fraction * 100.0));
    }
    const long known = filesDone_ + static_cast<long>(sources_.queuedCount());
    bar_->update(filesDone_, std::max(known, 1L), detail);
}

void DownloadProgress::finish() {
    finished_ = true;
    ticker_.invalidate();
    bar_->finish();
}

std::string DownloadProgress::summary() const {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::shared().now() - started_);
    return fmt::format("Downloaded {} of {} files ({} in {}).", transferredFiles_, filesDone_,
                       FileSizeText::stringFromFileSize(finishedBytes_), duration(elapsed));
}

std::string DownloadProgress::duration(std::chrono::seconds seconds) {
    const long total = std::max(0L, static_cast<long>(seconds.count()));
    if (total >= 3600) {
        return fmt::format("{}:{:02}:{:02}", total / 3600, (total / 60) % 60, total % 60);
    }
    return fmt::format("{}:{:02}", total / 60, total % 60);
}

}  // namespace pagewell::cli
