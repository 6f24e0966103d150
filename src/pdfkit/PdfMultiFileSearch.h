#pragma once
// Searches many PDF files for one keyword in one process, the files spread over a bounded pool
// of workers, and hands the results over in the order of the files:
//
//   start() ── files 0..window-1 queued on the pool
//        ▼ worker: PdfFileSearch::searchFile (its own document, its own font cache)
//   result posted to the main queue ── kept until every earlier file is handed over
//        ▼
//   fileDone(index, result) for the next file in order, as soon as it is there; the next file
//   beyond the window is queued
//        ▼
//   finished() after the last file's fileDone
//
// The window (files queued, running or waiting for their turn) bounds how many results are
// held at once, so memory follows the window, not the number of files, even when an early
// file is slow. After stop() no further callback is called: running files end at their next
// page, queued ones never start.
//
// Threading rule: create, start, stop and the getters run on the main thread; callbacks arrive
// on the main queue. Workers share nothing but the immutable keyword, options and the stop
// flag. Destroy the search on the main thread (its pool's threads are joined then).

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdfkit/PdfFileSearch.h"
#include "platform/Error.h"
#include "platform/OperationQueue.h"

namespace pagewell {

class PdfMultiFileSearch : public std::enable_shared_from_this<PdfMultiFileSearch> {
  public:
    struct Options {
        // Workers; 0: one per processor.
        int workers = 0;
        // Files queued, running or waiting for their turn at most; 0: sixteen per worker, or
        // 1024 when only counting (a count is a few bytes, however many hits it stands for).
        std::size_t window = 0;
        PdfFileSearch::Options file;
    };
    struct Callbacks {
        std::function<void(std::size_t index, const Result<PdfFileSearch::Findings>& result)>
            fileDone;
        std::function<void()> finished;
    };

    static std::shared_ptr<PdfMultiFileSearch> create(std::vector<std::string> paths,
                                                      std::string keyword, Options options);
    ~PdfMultiFileSearch();
    PdfMultiFileSearch(const PdfMultiFileSearch&) = delete;
    PdfMultiFileSearch& operator=(const PdfMultiFileSearch&) = delete;

    // Starts the search; a second start is ignored. With no files, finished() is posted.
    void start(Callbacks callbacks);
    void stop();

    std::size_t fileCount() const { return paths_.size(); }
    // Files handed over so far.
    std::size_t filesDone() const { return nextToDeliver_; }
    int workerCount() const { return queue_.maxConcurrentOperationCount(); }

  private:
    struct Shared;
    PdfMultiFileSearch(std::vector<std::string> paths, std::string keyword, Options options);
    void queueNext();
    void arrived(std::size_t index, Result<PdfFileSearch::Findings> result);

    const std::vector<std::string> paths_;
    const std::shared_ptr<Shared> shared_;
    std::size_t window_;
    OperationQueue queue_;
    Callbacks callbacks_;
    bool started_ = false;
    bool stopped_ = false;
    std::size_t nextToQueue_ = 0;
    std::size_t nextToDeliver_ = 0;
    std::map<std::size_t, Result<PdfFileSearch::Findings>> waiting_;  // arrived before their turn
};

}  // namespace pagewell
