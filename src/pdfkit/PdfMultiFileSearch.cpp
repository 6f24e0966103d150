#include "pdfkit/PdfMultiFileSearch.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "platform/MainQueue.h"

namespace pagewell {

// What the workers read: fixed before the first file is queued, except the stop flag.
struct PdfMultiFileSearch::Shared {
    std::string keyword;
    PdfFileSearch::Options options;
    std::atomic<bool> stop{false};
};

namespace {

int workersFor(int requested) {
    if (requested > 0) {
        return requested;
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace

std::shared_ptr<PdfMultiFileSearch> PdfMultiFileSearch::create(std::vector<std::string> paths,
                                                               std::string keyword,
                                                               Options options) {
    return std::shared_ptr<PdfMultiFileSearch>(
        new PdfMultiFileSearch(std::move(paths), std::move(keyword), std::move(options)));
}

PdfMultiFileSearch::PdfMultiFileSearch(std::vector<std::string> paths, std::string keyword,
                                       Options options)
    : paths_(std::move(paths)),
      shared_(std::make_shared<Shared>()),
      window_(options.window),
      queue_(workersFor(options.workers), "PdfMultiFileSearch") {
    shared_->keyword = std::move(keyword);
    shared_->options = options.file;
    shared_->options.stop = &shared_->stop;
    if (window_ == 0) {
        window_ = options.file.countOnly
                      ? 1024
                      : 16 * static_cast<std::size_t>(queue_.maxConcurrentOperationCount());
    }
}

PdfMultiFileSearch::~PdfMultiFileSearch() {
    shared_->stop = true;
    queue_.cancelAllOperations();
}

void PdfMultiFileSearch::start(Callbacks callbacks) {
    if (started_) {
        return;
    }
    started_ = true;
    callbacks_ = std::move(callbacks);
    if (paths_.empty()) {
        MainQueue::shared().post([weak = weak_from_this()] {
            auto self = weak.lock();
            if (self && !self->stopped_ && self->callbacks_.finished) {
                self->callbacks_.finished();
            }
        });
        return;
    }
    while (nextToQueue_ < paths_.size() && nextToQueue_ < window_) {
        queueNext();
    }
}

void PdfMultiFileSearch::stop() {
    stopped_ = true;
    shared_->stop = true;
    queue_.cancelAllOperations();
    waiting_.clear();
}

void PdfMultiFileSearch::queueNext() {
    const std::size_t index = nextToQueue_++;
    // The work holds the shared part, never the search itself: the pool must not be destroyed
    // by one of its own workers.
    queue_.addOperation([shared = shared_, path = paths_[index], index, weak = weak_from_this()] {
        Result<PdfFileSearch::Findings> result =
            PdfFileSearch::searchFile(path, shared->keyword, shared->options);
        MainQueue::shared().post([weak, index, result = std::move(result)]() mutable {
            if (auto self = weak.lock()) {
                self->arrived(index, std::move(result));
            }
        });
    });
}

void PdfMultiFileSearch::arrived(std::size_t index, Result<PdfFileSearch::Findings> result) {
    if (stopped_) {
        return;
    }
    waiting_.emplace(index, std::move(result));
    for (auto next = waiting_.find(nextToDeliver_); next != waiting_.end();
         next = waiting_.find(nextToDeliver_)) {
        Result<PdfFileSearch::Findings> ready = std::move(next->second);
        waiting_.erase(next);
        ++nextToDeliver_;
        if (nextToQueue_ < paths_.size()) {
            queueNext();
        }
        if (callbacks_.fileDone) {
            callbacks_.fileDone(nextToDeliver_ - 1, ready);
        }
        if (stopped_) {
            return;
        }
    }
    if (nextToDeliver_ == paths_.size() && callbacks_.finished) {
        callbacks_.finished();
    }
}

}  // namespace pagewell
