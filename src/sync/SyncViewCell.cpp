#include "sync/SyncViewCell.h"

#include <utility>

#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/Presenter.h"
#include "store/FileSizeText.h"
#include "store/PersistentStore.h"
#include "sync/FileDownloadOperation.h"
#include "sync/SyncManager.h"

namespace pagewell {

namespace {

// Runs `work` now on the main thread, else posts it there while the row still lives.
void onMainThread(const std::shared_ptr<SyncViewCell*>& self,
                  std::function<void(SyncViewCell&)> work) {
    if (MainQueue::shared().isMainThread()) {
        work(**self);
        return;
    }
    MainQueue::shared().post([weak = std::weak_ptr<SyncViewCell*>(self), work = std::move(work)] {
        if (auto cell = weak.lock()) {
            work(**cell);
        }
    });
}

}  // namespace

SyncViewCell::ButtonLabel SyncViewCell::labelForState(ButtonState state) {
    switch (state) {
        case ButtonState::Download:
            return {"DOWNLOAD", "Download", true};
        case ButtonState::Cancel:
            return {"CANCEL", "Cancel", true};
        case ButtonState::Downloading:
            return {"DOWNLOADING", "Downloading", false};
        case ButtonState::Waiting:
            return {"WAITING", "Waiting", false};
        case ButtonState::Delete:
            return {"DELETE", "Delete", true};
        case ButtonState::Error:
            return {"ERROR", "Error", true};
        case ButtonState::Update:
            return {"UPDATE", "Update", true};
    }
    return {"DOWNLOAD", "Download", true};
}

SyncViewCell::SyncViewCell(std::weak_ptr<Screen> screen, Services services)
    : screen_(std::move(screen)),
      services_(std::move(services)),
      self_(std::make_shared<SyncViewCell*>(this)) {
    if (!services_.syncManager) {
        services_.syncManager = SyncManager::sharedPointer();
    }
    if (!services_.store) {
        services_.store = PersistentStore::shared();
    }
    if (!services_.presenter) {
        services_.presenter = Presenter::sharedPointer();
    }
    if (!services_.localizedText) {
        services_.localizedText = FileDownloadOperation::sharedEnvironment().localizedText;
    }
}

SyncViewCell::~SyncViewCell() {
    stopListening();
    self_.reset();
}

void SyncViewCell::setFile(const File& file) {
    stopListening();
    file_ = file;
    progress_ = 0.0;
    error_.reset();
    if (file.cmsID) {
        const std::int64_t id = *file.cmsID;
        listenedID_ = id;
        std::weak_ptr<SyncViewCell*> weak = self_;
        progressToken_ = FileDownloadOperation::addObserverForProgressChangeForFileWithID(
            id, [weak](const FileDownloadOperation::ProgressInfo& info) {
                if (auto self = weak.lock()) {
                    onMainThread(self, [progress = info.progress](SyncViewCell& cell) {
                        cell.onProgress(progress);
                    });
                }
            });
        errorToken_ = FileDownloadOperation::addObserverForErrorsForFileWithID(
            id, [weak](const FileDownloadOperation::ErrorInfo& info) {
                if (auto self = weak.lock()) {
                    onMainThread(self,
                                 [error = info.error](SyncViewCell& cell) { cell.onError(error); });
                }
            });
        error_ = services_.syncManager->errorForFileWithID(id);
    }
    setupButton();
}

void SyncViewCell::setupButton() {
    if (!file_) {
        setupButtonWithAction(ButtonState::Download);
        return;
    }
    bool hidden = false;
    if (services_.store && file_->pk != 0) {
        StoreContext& context = services_.store->mainContext();
        // The row may have been made before a download or a removal changed the record.
        if (auto fresh = File::find(context, file_->pk); fresh.ok() && fresh.value()) {
            file_ = std::move(*fresh.value());
        }
        if (auto state = file_->fileStateForCurrentUser(context); state.ok() && state.value()) {
            hidden = state.value()->pretendDeletion;
        }
    }
    const bool queued =
        file_->cmsID && services_.syncManager->isInDownloadQueueWithFileID(*file_->cmsID);
    if (file_->downloaded && !file_->updateAvailable && !hidden) {
        setupButtonWithAction(ButtonState::Delete);
    } else if (file_->updateAvailable) {
        setupButtonWithAction(ButtonState::Update);
    } else if (queued) {
        setupButtonWithAction(ButtonState::Waiting);
    } else if (error_) {
        setupButtonWithAction(ButtonState::Error);
    } else {
        setupButtonWithAction(ButtonState::Download);
    }
}

void SyncViewCell::setupButtonWithAction(ButtonState state) {
    buttonState_ = state;
    announce();
}

std::string SyncViewCell::buttonTitle() const {
    const ButtonLabel label = labelForState(buttonState_);
    return text(label.key, label.fallback);
}

std::string SyncViewCell::title() const {
    return file_ && file_->title ? *file_->title : std::string();
}

std::string SyncViewCell::sizeText() const {
    std::optional<std::uint64_t> size;
    if (file_ && services_.store) {
        if (auto complete = file_->completeFileSize(services_.store->mainContext());
            complete.ok()) {
            size = complete.value();
        }
    }
    return FileSizeText::stringForCompleteFilesize(size);
}

void SyncViewCell::touchButton() {
    if (!buttonEnabled()) {
        return;
    }
    if (buttonState_ == ButtonState::Error && error_) {
        showError();
        return;
    }
    if (buttonState_ == ButtonState::Delete) {
        askDelete();
        return;
    }
    auto screen = screen_.lock();
    if (buttonState_ == ButtonState::Cancel) {
        if (screen) {
            screen->cancelDownloadWithSyncCell(*this);
        }
        setupButtonWithAction(ButtonState::Download);
        return;
    }
    if (screen) {
        screen->startDownloadWithSyncCell(*this);
    }
}

void SyncViewCell::stopListening() {
    if (listenedID_) {
        FileDownloadOperation::removeObserverForProgressChangeForFileWithID(*listenedID_,
                                                                            progressToken_);
        FileDownloadOperation::removeObserverForErrorsForFileWithID(*listenedID_, errorToken_);
        listenedID_.reset();
    }
}

void SyncViewCell::onProgress(double progress) {
    if (buttonState_ != ButtonState::Downloading) {
        buttonState_ = ButtonState::Cancel;
    }
    progress_ = progress;
    if (progress == 1.0) {
        buttonState_ = ButtonState::Delete;
    }
    announce();
}

void SyncViewCell::onError(const Error& error) {
    error_ = error;
    if (buttonState_ != ButtonState::Error) {
        buttonState_ = ButtonState::Error;
    }
    announce();
}

void SyncViewCell::showError() {
    Alert alert;
    alert.title = text(kErrorKey, kError);
    alert.message = error_->description;
    alert.cancelButtonTitle = text(kOkKey, kOk);
    services_.presenter->showAlert(alert, [weak = std::weak_ptr<SyncViewCell*>(self_)](int) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        SyncViewCell& cell = **self;
        if (cell.file_) {
            cell.services_.syncManager->removeErrorForFile(*cell.file_);
        }
        cell.error_.reset();
        cell.setupButtonWithAction(ButtonState::Download);
    });
}

void SyncViewCell::askDelete() {
    Alert alert;
    alert.title = text(kDeleteKey, kDelete);
    alert.message = text(kDeleteQuestionKey, kDeleteQuestion);
    alert.cancelButtonTitle = text(kNoKey, kNo);
    alert.otherButtonTitles = {text(kYesKey, kYes)};
    const int yes = alert.firstOtherButtonIndex();
    services_.presenter->showAlert(alert,
                                   [weak = std::weak_ptr<SyncViewCell*>(self_), yes](int button) {
                                       auto self = weak.lock();
                                       if (!self || button != yes) {
                                           return;
                                       }
                                       SyncViewCell& cell = **self;
                                       if (!cell.file_ || !cell.services_.store) {
                                           return;
                                       }
                                       StoreContext& context = cell.services_.store->mainContext();
                                       Status removed = cell.file_->deleteFile(context);
                                       if (removed.ok()) {
                                           removed = context.save();
                                       }
                                       if (!removed.ok()) {
                                           context.rollback();
                                           PW_LOG_ERROR_VALUE(removed.error());
                                       }
                                       cell.setupButton();
                                       if (auto screen = cell.screen_.lock()) {
                                           screen->reloadVisibleRows();
                                       }
                                   });
}

std::string SyncViewCell::text(std::string_view key, std::string_view fallback) const {
    return services_.localizedText ? services_.localizedText(key, fallback) : std::string(fallback);
}

void SyncViewCell::announce() {
    if (changed_) {
        changed_();
    }
}

}  // namespace pagewell
