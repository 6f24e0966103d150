#include "sync/SyncViewController.h"

#include <utility>

#include "net/InterfaceManager.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/OperationQueue.h"
#include "platform/Presenter.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/FileSizeText.h"
#include "store/FileState.h"
#include "store/PersistentStore.h"
#include "sync/FileDownloadOperation.h"

namespace pagewell {

namespace {

Error noStoreError() {
    return Error::make(kAppErrorDomain, -1, "The store is not open.");
}

}  // namespace

std::shared_ptr<SyncViewController> SyncViewController::create(Services services, Display display) {
    std::shared_ptr<SyncViewController> controller(
        new SyncViewController(std::move(services), std::move(display)));
    controller->services_.cell.syncManager->setSyncViewController(controller);
    return controller;
}

SyncViewController::SyncViewController(Services services, Display display)
    : services_(std::move(services)),
      display_(std::move(display)),
      background_(std::make_unique<OperationQueue>(1, "SyncView")) {
    SyncViewCell::Services& cell = services_.cell;
    if (!cell.syncManager) {
        cell.syncManager = SyncManager::sharedPointer();
    }
    if (!cell.store) {
        cell.store = PersistentStore::shared();
    }
    if (!cell.presenter) {
        cell.presenter = Presenter::sharedPointer();
    }
    if (!cell.localizedText) {
        cell.localizedText = FileDownloadOperation::sharedEnvironment().localizedText;
    }
    if (!services_.isReachable) {
        services_.isReachable = [] { return InterfaceManager::sharedInstance().isReachable(); };
    }
    if (!services_.showOfflineModeAlert) {
        services_.showOfflineModeAlert = [](std::function<void(bool)> completion) {
            InterfaceManager::sharedInstance().showOfflineModeAlert(std::move(completion));
        };
    }
    if (!services_.renewToken) {
        services_.renewToken = [](TokenCompletion completion, ErrorCallback error) {
            SyncManager::sharedInstance().renewToken(std::move(completion), std::move(error));
        };
    }
    filter_ = CategoryFilter::withType(filterType_);
}

SyncViewController::~SyncViewController() {
    // The background queue finishes the delete-all under way before the controller goes.
    background_.reset();
}

// ---- what the screen lists

void SyncViewController::setFilterType(CategoryFilterType type) {
    filterType_ = type;
    filter_ = CategoryFilter::withType(type);
    if (display_.treeChanged) {
        display_.treeChanged();
    }
}

void SyncViewController::setSearchText(const std::string& text) {
    filter_ =
        text.empty() ? CategoryFilter::withType(filterType_) : CategoryFilter::withKeyword(text);
    if (display_.treeChanged) {
        display_.treeChanged();
    }
}

CategoryTree SyncViewController::makeTree() {
    std::weak_ptr<SyncManager> manager = services_.cell.syncManager;
    StoreContext& context = services_.cell.store->mainContext();
    return CategoryTree(context, [manager](std::int64_t fileID) {
        auto strong = manager.lock();
        return strong && strong->errorForFileWithID(fileID).has_value();
    });
}

Result<std::vector<CategoryWrapper>> SyncViewController::currentTree() {
    if (!services_.cell.store) {
        return noStoreError();
    }
    CategoryTree tree = makeTree();
    return CategoryWrapper::wrappedRootCategories(tree, filter_);
}

std::unique_ptr<SyncViewCell> SyncViewController::makeCell(const File& file) {
    auto cell = std::make_unique<SyncViewCell>(weak_from_this(), services_.cell);
    cell->setFile(file);
    return cell;
}

std::unique_ptr<CategorySyncTableViewCell> SyncViewController::makeCategoryCell(
    const FileCategory& category, int level) {
    return std::make_unique<CategorySyncTableViewCell>(weak_from_this(), category, level);
}

// ---- refresh

void SyncViewController::refresh(std::function<void(const RefreshResult&)> done) {
    auto finish = [done = std::move(done)](RefreshResult result) {
        if (done) {
            done(result);
        }
    };
    if (!services_.isReachable()) {
        showOfflineAlert([finish] { finish({RefreshResult::Ending::Offline, std::nullopt}); });
        return;
    }
    if (services_.cell.syncManager->isActive()) {
        MainQueue::shared().post([finish] {
            finish({RefreshResult::Ending::DownloadsActive, std::nullopt});
        });
        return;
    }
    if (display_.overlay) {
        display_.overlay(true);
    }
    std::weak_ptr<SyncViewController> weak = weak_from_this();
    auto ended = [weak, finish](RefreshResult result) {
        if (auto self = weak.lock()) {
            if (self->display_.treeChanged) {
                self->display_.treeChanged();
            }
            if (self->display_.overlay) {
                self->display_.overlay(false);
            }
        }
        finish(std::move(result));
    };
    services_.cell.syncManager->getDataForSync(
        [ended] {
            ended({RefreshResult::Ending::Refreshed, std::nullopt});
        },
        [weak](double fraction) {
            auto self = weak.lock();
            if (self && self->display_.overlayProgress) {
                self->display_.overlayProgress(fraction);
            }
        },
        [ended](const Error& error) {
            PW_LOG_ERROR_VALUE(error);
            ended({RefreshResult::Ending::Failed, error});
        });
}

// ---- download all

void SyncViewController::downloadAll(std::function<void(const DownloadAllResult&)> done,
                                     SyncManager::FileCompletion fileDone) {
    auto finish = [done](DownloadAllResult result) {
        if (done) {
            done(result);
        }
    };
    SyncManager& manager = *services_.cell.syncManager;
    if (manager.isSyncActive()) {
        manager.stop();
        setupButtonsForSyncInProgress(false);
        if (display_.treeChanged) {
            display_.treeChanged();
        }
        MainQueue::shared().post([finish] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::Stopped;
            finish(result);
        });
        return;
    }
    if (!services_.isReachable()) {
        showOfflineAlert([finish] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::Offline;
            finish(result);
        });
        return;
    }
    if (!services_.cell.store) {
        MainQueue::shared().post([finish] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::Failed;
            result.error = noStoreError();
            finish(result);
        });
        return;
    }
    CategoryTree tree = makeTree();
    auto roots = tree.filteredRootCategories(filter_);
    Result<std::uint64_t> needed =
        roots.ok() ? manager.neededDiskspaceForCategories(services_.cell.store->mainContext(),
                                                          roots.value(), filter_)
                   : Result<std::uint64_t>(roots.error());
    if (!needed.ok()) {
        PW_LOG_ERROR_VALUE(needed.error());
        MainQueue::shared().post([finish, error = needed.error()] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::Failed;
            result.error = error;
            finish(result);
        });
        return;
    }
    const std::uint64_t bytes = needed.value();
    if (bytes == 0) {
        showInfoAlert(text(kSyncTitleKey, kSyncTitle), text(kNoDownloadKey, kNoDownload), [finish] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::NothingToDownload;
            finish(result);
        });
        return;
    }
    const std::string size = FileSizeText::stringFromFileSize(bytes);
    if (!manager.diskSpaceAvailableForSize(bytes)) {
        showInfoAlert(kNoSpaceTitle, filled(text(kNoSpaceKey, kNoSpace), size), [finish, bytes] {
            DownloadAllResult result;
            result.ending = DownloadAllResult::Ending::NotEnoughSpace;
            result.neededBytes = bytes;
            finish(result);
        });
        return;
    }
    Alert alert;
    alert.title = kStartSyncTitle;
    alert.message = filled(text(kSpaceKey, kSpace), size);
    alert.cancelButtonTitle = text(kNoKey, kNo);
    alert.otherButtonTitles = {text(kYesKey, kYes)};
    const int yes = alert.firstOtherButtonIndex();
    std::weak_ptr<SyncViewController> weak = weak_from_this();
    services_.cell.presenter->showAlert(alert,
                                        [weak, finish, done, fileDone, bytes, yes](int button) {
                                            auto self = weak.lock();
                                            if (!self || button != yes) {
                                                DownloadAllResult result;
                                                result.ending = DownloadAllResult::Ending::Declined;
                                                result.neededBytes = bytes;
                                                finish(result);
                                                return;
                                            }
                                            self->startDownloadAll(done, fileDone, bytes);
                                        });
}

void SyncViewController::startDownloadAll(std::function<void(const DownloadAllResult&)> done,
                                          SyncManager::FileCompletion fileDone,
                                          std::uint64_t neededBytes) {
    setupButtonsForSyncInProgress(true);
    std::weak_ptr<SyncViewController> weak = weak_from_this();
    services_.cell.syncManager->downloadAllFiles(
        filter_,
        [weak, done, neededBytes](const SyncManager::DownloadResult& downloads) {
            if (auto self = weak.lock()) {
                self->reloadVisibleRows();
                self->setupButtonsForSyncInProgress(false);
            }
            if (done) {
                DownloadAllResult result;
                result.ending = DownloadAllResult::Ending::Downloaded;
                result.neededBytes = neededBytes;
                result.downloads = downloads;
                done(result);
            }
        },
        [weak, fileDone](const SyncManager::FileOutcome& outcome) {
            auto self = weak.lock();
            if (self && self->display_.fileFinished) {
                self->display_.fileFinished(outcome);
            }
            if (fileDone) {
                fileDone(outcome);
            }
        });
}

// ---- delete all

void SyncViewController::deleteAll(std::function<void(const DeleteAllResult&)> done) {
    Alert alert;
    alert.title = text(kDeleteAllKey, kDeleteAll);
    alert.message = text(kDeleteAllQuestionKey, kDeleteAllQuestion);
    alert.cancelButtonTitle = text(kNoKey, kNo);
    alert.otherButtonTitles = {text(kYesKey, kYes)};
    const int yes = alert.firstOtherButtonIndex();
    std::weak_ptr<SyncViewController> weak = weak_from_this();
    services_.cell.presenter->showAlert(alert, [weak, done, yes](int button) {
        auto self = weak.lock();
        if (!self || button != yes) {
            if (done) {
                DeleteAllResult result;
                result.ending = DeleteAllResult::Ending::Declined;
                done(result);
            }
            return;
        }
        if (self->display_.overlay) {
            self->display_.overlay(true);
        }
        if (self->display_.buttonsEnabled) {
            self->display_.buttonsEnabled(false);
        }
        std::shared_ptr<PersistentStore> store = self->services_.cell.store;
        const std::optional<std::int64_t> user = CurrentSelection::userKey();
        self->background_->addOperation([weak, done, store, user] {
            Result<std::size_t> deleted = deleteDownloadedFiles(store, user);
            MainQueue::shared().post([weak, done, deleted] {
                DeleteAllResult result;
                if (deleted.ok()) {
                    PW_LOG_INFO(kLogDeletingFinished);
                    result.deletedFiles = deleted.value();
                } else {
                    PW_LOG_ERROR_VALUE(deleted.error());
                    result.ending = DeleteAllResult::Ending::Failed;
                    result.error = deleted.error();
                }
                if (auto alive = weak.lock()) {
                    if (alive->display_.treeChanged) {
                        alive->display_.treeChanged();
                    }
                    if (alive->display_.buttonsEnabled) {
                        alive->display_.buttonsEnabled(true);
                    }
                    if (alive->display_.overlay) {
                        alive->display_.overlay(false);
                    }
                }
                if (done) {
                    done(result);
                }
            });
        });
    });
}

Result<std::size_t> SyncViewController::deleteDownloadedFiles(
    const std::shared_ptr<PersistentStore>& store, std::optional<std::int64_t> userKey) {
    if (!store) {
        return noStoreError();
    }
    auto opened = store->newPrivateContext();
    if (!opened.ok()) {
        return opened.error();
    }
    StoreContext& context = *opened.value();
    // "downloaded = YES" over the user's files
    auto files = EntityRows::records<File>(
        context,
        "SELECT f.pk FROM File f WHERE f.downloaded = 1 AND EXISTS (SELECT 1 FROM File_users u "
        "WHERE u.file = f.pk AND u.user = ?) ORDER BY f.pk",
        userKey);
    if (!files.ok()) {
        return files.error();
    }
    std::size_t deleted = 0;
    for (File& file : files.value()) {
        // One save per file: an interruption leaves every file either removed or untouched.
        // The write opens first so the copies leave the disk only when the save commits.
        // The resources' copies go with the file's own (deleteFile), so a file another user of
        // the device still keeps keeps its films and images too.
        Status removed = context.beginWrite();
        if (removed.ok()) {
            removed = file.deleteFile(context);
        }
        if (removed.ok()) {
            removed = context.save();
        }
        if (!removed.ok()) {
            context.rollback();
            return removed.error();
        }
        ++deleted;
    }
    return deleted;
}

// ---- rows

void SyncViewController::startDownloadForFile(const File& file,
                                              std::function<void(const StartFileResult&)> done) {
    auto finish = [done = std::move(done)](StartFileResult result) {
        if (done) {
            done(result);
        }
    };
    if (!services_.isReachable()) {
        showOfflineAlert([finish] { finish({StartFileResult::Ending::Offline, std::nullopt}); });
        return;
    }
    if (!file.cmsID) {
        MainQueue::shared().post([finish] {
            finish({StartFileResult::Ending::Failed,
                    Error::make(kAppErrorDomain, -1, "The file has no identifier.")});
        });
        return;
    }
    SyncManager& manager = *services_.cell.syncManager;
    if (file.downloaded && !file.updateAvailable && services_.cell.store) {
        StoreContext& context = services_.cell.store->mainContext();
        auto state = file.fileStateForCurrentUser(context);
        if (state.ok() && state.value() && state.value()->removedByUser()) {
            // The copy is on the device already: showing it again needs no transfer.
            FileState shown = *state.value();
            if (Status saved = shown.showAgain(context); !saved.ok()) {
                PW_LOG_ERROR_VALUE(saved.error());
                MainQueue::shared().post([finish, error = saved.error()] {
                    finish({StartFileResult::Ending::Failed, error});
                });
                return;
            }
            MainQueue::shared().post([finish] {
                finish({StartFileResult::Ending::Unhidden, std::nullopt});
            });
            return;
        }
    }
    if (manager.isInDownloadQueueWithFileID(*file.cmsID)) {
        MainQueue::shared().post([finish] {
            finish({StartFileResult::Ending::AlreadyQueued, std::nullopt});
        });
        return;
    }
    manager.downloadFileWithID(
        *file.cmsID,
        [finish] {
            finish({StartFileResult::Ending::Ended, std::nullopt});
        },
        {},
        [finish](const Error& error) {
            finish({StartFileResult::Ending::Failed, error});
        });
}

void SyncViewController::startDownloadForCategory(
    const FileCategory& category, std::function<void(const StartCategoryResult&)> done,
    SyncManager::FileCompletion fileDone) {
    auto finish = [done = std::move(done)](StartCategoryResult result) {
        if (done) {
            done(result);
        }
    };
    // Offline mode stops all server traffic, the token renewal included.
    if (!services_.isReachable()) {
        showOfflineAlert([finish] {
            StartCategoryResult result;
            result.ending = StartCategoryResult::Ending::Offline;
            finish(result);
        });
        return;
    }
    if (!category.cmsID) {
        MainQueue::shared().post([finish] {
            StartCategoryResult result;
            result.ending = StartCategoryResult::Ending::Downloaded;
            finish(result);
        });
        return;
    }
    const std::int64_t categoryID = *category.cmsID;
    std::weak_ptr<SyncViewController> weak = weak_from_this();
    services_.renewToken(
        [weak, finish, fileDone, categoryID](std::optional<std::string> token) {
            if (!token || token->empty()) {
                PW_LOG_INFO(kLogTokenEmpty);
                StartCategoryResult result;
                result.ending = StartCategoryResult::Ending::NoToken;
                finish(result);
                return;
            }
            auto self = weak.lock();
            if (!self) {
                finish({});
                return;
            }
            self->services_.cell.syncManager->downloadFilesInCategoryWithID(
                categoryID, self->filter_,
                [weak, finish](const SyncManager::DownloadResult& downloads) {
                    if (auto alive = weak.lock()) {
                        alive->reloadVisibleRows();
                    }
                    StartCategoryResult result;
                    result.downloads = downloads;
                    finish(result);
                },
                [weak, fileDone](const SyncManager::FileOutcome& outcome) {
                    auto alive = weak.lock();
                    if (alive && alive->display_.fileFinished) {
                        alive->display_.fileFinished(outcome);
                    }
                    if (fileDone) {
                        fileDone(outcome);
                    }
                });
        },
        [finish](const Error& error) {
            PW_LOG_ERROR_VALUE(error);
            StartCategoryResult result;
            result.ending = StartCategoryResult::Ending::TokenFailed;
            result.error = error;
            finish(result);
        });
}

void SyncViewController::cancelDownloadForFile(std::int64_t fileID) {
    SyncManager& manager = *services_.cell.syncManager;
    manager.cancelDownloadForFileWithID(fileID);
    if (!manager.isActive()) {
        setupButtonsForSyncInProgress(false);
    }
}

void SyncViewController::startDownloadWithSyncCell(SyncViewCell& cell) {
    if (!cell.file()) {
        return;
    }
    // The row follows the download through its notifications; it shows Waiting once queued.
    startDownloadForFile(*cell.file(), {});
    cell.setupButton();
}

void SyncViewController::cancelDownloadWithSyncCell(SyncViewCell& cell) {
    if (cell.file() && cell.file()->cmsID) {
        cancelDownloadForFile(*cell.file()->cmsID);
    }
}

void SyncViewController::startDownloadWithCategoryCell(CategorySyncTableViewCell& cell) {
    startDownloadForCategory(cell.category(), {});
}

void SyncViewController::reloadVisibleRows() {
    if (display_.reloadVisibleRows) {
        display_.reloadVisibleRows();
    }
}

void SyncViewController::setupButtonsForSyncInProgress(bool inProgress) {
    syncInProgress_ = inProgress;
    if (display_.buttonsInProgress) {
        display_.buttonsInProgress(inProgress);
    }
}

// ---- helpers

std::string SyncViewController::text(std::string_view key, std::string_view fallback) const {
    return services_.cell.localizedText ? services_.cell.localizedText(key, fallback)
                                        : std::string(fallback);
}

std::string SyncViewController::filled(std::string format, const std::string& value) {
    if (auto at = format.find("%@"); at != std::string::npos) {
        format.replace(at, 2, value);
    }
    return format;
}

void SyncViewController::showOfflineAlert(std::function<void()> then) {
    services_.showOfflineModeAlert([then = std::move(then)](bool) { then(); });
}

void SyncViewController::showInfoAlert(std::string title, std::string message,
                                       std::function<void()> then) {
    Alert alert;
    alert.title = std::move(title);
    alert.message = std::move(message);
    alert.cancelButtonTitle = text(kOkKey, kOk);
    services_.cell.presenter->showAlert(alert, [then = std::move(then)](int) { then(); });
}

}  // namespace pagewell
