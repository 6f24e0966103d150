#include "pdfkit/PdfSearchRun.h"

#include <algorithm>
#include <utility>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfFontCache.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/NotificationCenter.h"
#include "platform/OperationQueue.h"

namespace pagewell {

namespace {
constexpr const char* kPdfClosedEvent = "pdfClosedEvent";
}

OperationQueue& PdfSearchRun::sharedQueue() {
    static OperationQueue queue(1, "PdfSearch");
    return queue;
}

std::shared_ptr<PdfSearchRun> PdfSearchRun::create(std::string documentPath,
                                                   std::shared_ptr<VXPDFSelectionManager> manager,
                                                   Options options) {
    std::shared_ptr<PdfSearchRun> run(
        new PdfSearchRun(std::move(documentPath), std::move(manager), std::move(options)));
    std::weak_ptr<PdfSearchRun> weak = run;
    NotificationCenter& center =
        run->options_.center ? *run->options_.center : NotificationCenter::shared();
    run->closedObserver_ = center.addObserver(kPdfClosedEvent, [weak](const Notification&) {
        if (auto self = weak.lock()) {
            self->stop();
            std::lock_guard lock(self->mutex_);
            self->results_.clear();
        }
    });
    return run;
}

PdfSearchRun::PdfSearchRun(std::string documentPath, std::shared_ptr<VXPDFSelectionManager> manager,
                           Options options)
    : documentPath_(std::move(documentPath)),
      manager_(std::move(manager)),
      options_(std::move(options)) {}

PdfSearchRun::~PdfSearchRun() {
    NotificationCenter& center = options_.center ? *options_.center : NotificationCenter::shared();
    center.removeObserver(closedObserver_);
}

void PdfSearchRun::postToMain(std::function<void(PdfSearchRun& run)> work) {
    MainQueue::shared().post([self = shared_from_this(), work = std::move(work)] { work(*self); });
}

void PdfSearchRun::start(std::string keyword, Callbacks callbacks) {
    if (started_.exchange(true)) {
        PW_LOG_WARNING("A search run is started once");
        return;
    }
    callbacks_ = std::move(callbacks);
    running_ = true;
    if (callbacks_.progress) {
        callbacks_.progress(0.0);
    }
    OperationQueue& queue = options_.queue ? *options_.queue : sharedQueue();
    queue.addOperation(
        [self = shared_from_this(), keyword = std::move(keyword)] { self->run(keyword); });
}

void PdfSearchRun::stop() {
    stopRequested_ = true;
}

void PdfSearchRun::cancel() {
    stop();
    manager_->removeAllPDFSelections();
    std::lock_guard lock(mutex_);
    results_.clear();
}

std::vector<int> PdfSearchRun::results() const {
    std::lock_guard lock(mutex_);
    return results_;
}

void PdfSearchRun::run(const std::string& keyword) {
    // The worker opens its own handle: a handle is used by one thread at a time.
    auto opened = PdfDocumentHandle::createWithPath(documentPath_);
    if (!opened.ok()) {
        postToMain([error = opened.error()](PdfSearchRun& run) {
            run.running_ = false;
            if (run.callbacks_.failed) {
                run.callbacks_.failed(error);
            }
        });
        return;
    }
    const std::shared_ptr<PdfDocumentHandle> document = std::move(opened).value();
    manager_->removeAllPDFSelections();
    const int pageCount = document->numberOfPages();
    pageCount_ = pageCount;
    auto fonts = std::make_shared<PdfFontCache>();
    for (int pageNumber = 1; pageNumber <= pageCount && !stopRequested_; ++pageNumber) {
        if (auto page = document->page(pageNumber)) {
            VXPDFScanner scanner(fonts);
            scanner.setKeyword(keyword);
            scanner.setOperatorBudget(options_.operatorBudgetPerPage);
            scanner.setDescribesHits(options_.describeHits);
            scanner.scanPage(*page);
            if (!scanner.selectionsArray().empty()) {
                {
                    std::lock_guard lock(mutex_);
                    results_.push_back(pageNumber);
                }
                manager_->addPDFSelections(scanner.selectionsArray(), pageNumber);
                postToMain([pageNumber](PdfSearchRun& run) {
                    if (!run.stopRequested_ && run.callbacks_.resultAdded) {
                        run.callbacks_.resultAdded(pageNumber);
                    }
                });
            }
        }
        pagesScanned_ = pageNumber;
        postToMain([fraction = static_cast<double>(pageNumber) / pageCount](PdfSearchRun& run) {
            if (run.callbacks_.progress) {
                run.callbacks_.progress(fraction);
            }
        });
    }
    if (stopRequested_) {
        std::lock_guard lock(mutex_);
        results_.clear();
    }
    postToMain([](PdfSearchRun& run) {
        run.running_ = false;
        if (run.callbacks_.finished) {
            run.callbacks_.finished(run.results());
        }
    });
}

}  // namespace pagewell
