#pragma once
// The full-text search over every page of a document, on a background queue:
//
//   start(keyword) ── progress(0) on the main queue
//        ▼ worker: open the file, remove all hits from the selection manager
//   page 1..N while running ── scan the page (VXPDFScanner)
//        │   hits: store them with addPDFSelections, resultAdded(page) on the main queue
//        │   progress(page / N) on the main queue
//        ▼
//   finished(results) on the main queue — the pages with hits, ascending; empty when the run
//   was stopped (the hits already stored stay in the selection manager until the next clear)
//   or failed(error) when the file cannot be opened. Exactly one of them is called, once.
//
// stop() ends the run before its next page. cancel() also removes every hit and result.
// "pdfClosedEvent" stops the run and clears its results.
//
// Threading rule: start, stop, cancel and the getters are called on the main thread; the worker
// reads the stop flag (atomic) between pages and writes results_ under mutex_. Callbacks run
// on the main queue. The run keeps itself alive until its callbacks have been delivered.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class NotificationCenter;
class OperationQueue;
class VXPDFSelectionManager;

class PdfSearchRun : public std::enable_shared_from_this<PdfSearchRun> {
  public:
    struct Callbacks {
        std::function<void(double fraction)> progress;
        std::function<void(int page)> resultAdded;
        std::function<void(const std::vector<int>& pages)> finished;
        std::function<void(const Error& error)> failed;
    };
    struct Options {
        // Work bound per page (operators handled, form content included), so that a damaged or
        // hostile page cannot stall the run.
        std::size_t operatorBudgetPerPage = 4'000'000;
        // Give every hit its words in context and its rectangle on the displayed page
        // (VXPDFSelection::description), for a reader rather than an overlay.
        bool describeHits = false;
        // The queue to run on; nullptr: sharedQueue().
        OperationQueue* queue = nullptr;
        // Notifications heard ("pdfClosedEvent") and posted by the default selection
        // manager; nullptr: NotificationCenter::shared().
        std::shared_ptr<NotificationCenter> center;
    };

    // A run over the file at `documentPath` storing hits in `selectionManager`.
    static std::shared_ptr<PdfSearchRun> create(std::string documentPath,
                                                std::shared_ptr<VXPDFSelectionManager> manager,
                                                Options options);
    static std::shared_ptr<PdfSearchRun> create(std::string documentPath,
                                                std::shared_ptr<VXPDFSelectionManager> manager) {
        return create(std::move(documentPath), std::move(manager), Options{});
    }
    ~PdfSearchRun();
    PdfSearchRun(const PdfSearchRun&) = delete;
    PdfSearchRun& operator=(const PdfSearchRun&) = delete;

    // Starts the search for `keyword`. A run is started once; a second start is ignored.
    void start(std::string keyword, Callbacks callbacks);
    void stop();
    // Stops, removes every hit from the selection manager and clears the results.
    void cancel();

    bool isRunning() const { return running_.load(); }
    // The process-wide search queue (one search at a time).
    static OperationQueue& sharedQueue();
    // Pages with hits found so far, ascending.
    std::vector<int> results() const;
    // Pages scanned so far and the page count (0 until the file is open).
    int pagesScanned() const { return pagesScanned_.load(); }
    int pageCount() const { return pageCount_.load(); }

  private:
    PdfSearchRun(std::string documentPath, std::shared_ptr<VXPDFSelectionManager> manager,
                 Options options);
    void run(const std::string& keyword);
    void postToMain(std::function<void(PdfSearchRun& run)> work);

    const std::string documentPath_;
    const std::shared_ptr<VXPDFSelectionManager> manager_;
    Options options_;
    Callbacks callbacks_;  // set by start() before the worker begins; read on the main queue
    std::atomic<bool> started_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<int> pagesScanned_{0};
    std::atomic<int> pageCount_{0};
    std::uint64_t closedObserver_ = 0;
    mutable std::mutex mutex_;
    std::vector<int> results_;  // guarded by mutex_
};

}  // namespace pagewell
