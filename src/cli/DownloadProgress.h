#pragma once
// The live display of running downloads on stderr, one line redrawn in place:
//
//   [#########.....................] 3/12 files  1.2 MB/4.5 MB 350.0 KB/s ETA 0:09 101:45%
//
// files done of files known (done plus still queued), bytes done (finished files plus the part
// of the files in flight) of the bytes needed, the rate since the start, the time left at that
// rate, and the files in flight with their share done. The line is drawn only when stderr is a
// terminal, without colour; summary() is the one line printed at the end either way.
//
// Threading: the download notifications arrive on background threads and only touch the
// in-flight table under its mutex; every other member belongs to the main thread.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/Timer.h"

namespace pagewell::cli {

class TerminalProgress;

class DownloadProgress {
  public:
    struct Sources {
        // Files still queued or downloading.
        std::function<std::size_t()> queuedCount;
        // The room a file (cmsID) takes once downloaded.
        std::function<std::uint64_t(std::int64_t fileID)> fileSize;
    };

    DownloadProgress(std::uint64_t neededBytes, Sources sources);
    ~DownloadProgress();
    DownloadProgress(const DownloadProgress&) = delete;
    DownloadProgress& operator=(const DownloadProgress&) = delete;

    // A file ended (downloaded, failed, un-hidden or cancelled); `transferred` when its bytes
    // count as done.
    void fileEnded(std::int64_t fileID, bool transferred);
    // Clears the line; the display stays silent afterwards.
    void finish();
    // "Downloaded 12 of 12 files (4.5 MB in 0:13)."
    std::string summary() const;

    // "0:09", "1:02:03".
    static std::string duration(std::chrono::seconds seconds);

  private:
    struct InFlight {
        std::mutex mutex;
        std::map<std::int64_t, double> fractions;  // guarded by mutex
    };

    void draw();
    std::uint64_t bytesDone();

    std::uint64_t neededBytes_;
    Sources sources_;
    std::unique_ptr<TerminalProgress> bar_;
    std::shared_ptr<InFlight> inFlight_;
    NotificationCenter::Token observer_;
    Timer ticker_;
    SystemTime started_;
    long filesDone_ = 0;
    long transferredFiles_ = 0;
    std::uint64_t finishedBytes_ = 0;
    std::map<std::int64_t, std::uint64_t> sizes_;  // cache of sources_.fileSize
    bool finished_ = false;
};

}  // namespace pagewell::cli
