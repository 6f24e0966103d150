#include "sync/SyncManager.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "library/CategoryTree.h"
#include "net/CatalogueRequests.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "net/LoginManager.h"
#include "net/SharingRequests.h"
#include "platform/AsyncOperation.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/OperationQueue.h"
#include "platform/Presenter.h"
#include "platform/ReachabilityWatcher.h"
#include "platform/Timer.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileState.h"
#include "store/PersistentStore.h"
#include "sync/CatalogueEraser.h"
#include "sync/DownloadSessions.h"
#include "sync/FileDownloadOperation.h"
#include "sync/LeftoverDownloads.h"
#include "sync/MassRemovalGuard.h"
#include "sync/RemoveDuplicateFiles.h"
#include "sync/SyncDiskSpace.h"
#include "sync/SyncDownloadQueue.h"
#include "sync/SyncInProgressListener.h"
#include "sync/TimestampManager.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

namespace {

// The shipped interval, used when the setting is missing or not positive: a zero interval
// would make the timer fire without pause.
constexpr double kDefaultSyncIntervalMinutes = 30.0;

using Ending = SyncManager::DownloadResult::Ending;
using Kind = SyncManager::FileOutcome::Kind;

Error noStoreError() {
    return Error::make(PersistentStore::kErrorDomain, -1, "The store is not open");
}

// Which ending wins when several categories of one download-all end differently: a stop
// decides, then a missing space, then the normal end.
int rank(Ending ending) {
    switch (ending) {
        case Ending::Cancelled:
            return 4;
        case Ending::TokenFailed:
        case Ending::NoToken:
            return 3;
        case Ending::NotEnoughSpace:
            return 2;
        case Ending::Finished:
            return 1;
    }
    return 0;
}

void merge(SyncManager::DownloadResult& into, const SyncManager::DownloadResult& from) {
    if (rank(from.ending) > rank(into.ending)) {
        into.ending = from.ending;
    }
    if (!into.error && from.error) {
        into.error = from.error;
    }
    auto append = [](auto& target, const auto& source) {
        target.insert(target.end(), source.begin(), source.end());
    };
    append(into.summary.downloaded, from.summary.downloaded);
    append(into.summary.failed, from.summary.failed);
    append(into.summary.unhidden, from.summary.unhidden);
    append(into.summary.cancelled, from.summary.cancelled);
}

void record(SyncManager::DownloadSummary& summary, const SyncManager::FileOutcome& outcome) {
    switch (outcome.kind) {
        case Kind::Downloaded:
            summary.downloaded.push_back(outcome.fileID);
            break;
        case Kind::Failed:
            summary.failed.emplace_back(outcome.fileID,
                                        outcome.error.value_or(Error::make("", 0, "")));
            break;
        case Kind::Unhidden:
            summary.unhidden.push_back(outcome.fileID);
            break;
        case Kind::Cancelled:
            summary.cancelled.push_back(outcome.fileID);
            break;
    }
}

// One category download: ends when its walk and every file the walk queued have ended.
// Main thread, except `pending`, which the walk raises from the background before queuing.
struct CategoryRun {
    SyncManager::DownloadCompletion completion;
    SyncManager::FileCompletion fileCompletion;
    SyncManager::DownloadResult result;
    std::atomic<int> pending{1};  // the walk itself, then one per queued file
    bool ended = false;

    void fileEnded(const SyncManager::FileOutcome& outcome) {
        record(result.summary, outcome);
        if (fileCompletion) {
            fileCompletion(outcome);
        }
    }
    void release() {
        if (--pending > 0 || ended) {
            return;
        }
        ended = true;
        if (completion) {
            completion(result);
        }
    }
};

// The files one download-all (or one category download) has handled already: a file listed in
// several categories is queued or un-hidden once, even when its download has ended (or failed)
// before the walk meets it again. Shared by the walks of one run.
struct HandledFiles {
    std::mutex mutex;
    std::set<std::int64_t> ids;  // guarded by mutex

    // True the first time for an ID.
    bool claim(std::int64_t fileID) {
        std::lock_guard lock(mutex);
        return ids.insert(fileID).second;
    }
};

// Runs a completion at most once, whichever path of a download-all gets there first.
struct OnceCompletion {
    SyncManager::DownloadCompletion completion;
    bool called = false;
    void operator()(const SyncManager::DownloadResult& result) {
        if (called) {
            return;
        }
        called = true;
        if (completion) {
            completion(result);
        }
    }
};

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<SyncManager>& sharedManager() {
    static std::shared_ptr<SyncManager> manager;
    return manager;
}

}  // namespace

struct SyncManager::Impl : std::enable_shared_from_this<Impl> {
    explicit Impl(Services given) : services(std::move(given)) {}

    // When this manager began; partial files written before it belong to no download of
    // this process.
    const SystemTime createdAt = Clock::shared().now();

    void setUp();
    void shutdown();

    // ---- main thread
    Services services;
    Hooks hooks;
    std::weak_ptr<SyncInProgressListener> viewController;
    Timer timer;
    bool autoSyncActive = false;
    bool sendingReadConfirmations = false;
    std::map<int, ActivityObserver> observers;
    int nextObserver = 1;
    std::optional<Activity> lastActivity;

    // ---- any thread
    std::shared_ptr<SyncDownloadQueue> queue;
    std::unique_ptr<OperationQueue> walkQueue;  // category walks and the erasing save
    std::atomic<bool> shouldCancelSync{false};
    // Raised by every stop(), so a walk begun before it stops even after a later category
    // cleared shouldCancelSync again.
    std::atomic<std::uint64_t> stopGeneration{0};

    bool cancelled(std::uint64_t generation) const {
        return shouldCancelSync.load() || stopGeneration.load() != generation;
    }

    Activity activity() const {
        Activity value;
        value.operationCount = queue ? queue->operationCount() : 0;
        value.active = queue && queue->isActive();
        value.autoSyncActive = autoSyncActive;
        return value;
    }
    void announceActivity() {
        Activity now = activity();
        if (lastActivity && *lastActivity == now) {
            return;
        }
        lastActivity = now;
        auto copy = observers;
        for (auto& [token, observer] : copy) {
            if (observer) {
                observer(now);
            }
        }
    }
    // The download view's error filter: the files this manager keeps an error for.
    CategoryTree::DownloadErrorTest downloadErrorTest() const {
        std::weak_ptr<SyncDownloadQueue> weakQueue = queue;
        return [weakQueue](std::int64_t fileID) {
            auto downloads = weakQueue.lock();
            return downloads && downloads->errorFor(fileID).has_value();
        };
    }
    void tellScreen(bool inProgress) {
        if (auto controller = viewController.lock()) {
            controller->setupButtonsForSyncInProgress(inProgress);
        }
    }

    void startAutoSync();
    void performAutoSync();
    void endAutoSync(const char* message);
    void stop();
    void getDataForSync(Done completion, Progress progress, ErrorCallback error,
                        MassRemoval massRemoval);
    void askAboutMassRemoval(const MassRemovalGuard::Removal& removal,
                             std::function<void(bool confirmed)> decided);
    void renewToken(TokenCompletion completion, ErrorCallback error);
    void downloadAll(const CategoryFilter& filter, DownloadCompletion completion,
                     FileCompletion fileCompletion);
    void downloadCategory(std::int64_t categoryID, const CategoryFilter& filter,
                          DownloadCompletion completion, FileCompletion fileCompletion,
                          std::shared_ptr<HandledFiles> handled);
    void walkCategory(std::int64_t categoryID, const CategoryFilter& filter,
                      const std::shared_ptr<CategoryRun>& run, std::uint64_t generation,
                      HandledFiles& handled);
    void queueForRun(const File& file, const std::shared_ptr<CategoryRun>& run);
    Result<std::uint64_t> neededForSync(StoreContext& context);
    bool diskSpaceAvailable(std::uint64_t bytes) const;
    void resetData(Progress progress, ErrorCallback error);
    void finishSignOut();
    void sendReadConfirmations();
};

// ---- default collaborators

namespace {

SyncManager::Services withDefaults(SyncManager::Services services) {
    if (!services.catalogueSync) {
        services.catalogueSync = [](SyncManager::Done completion, SyncManager::Progress progress,
                                    SyncManager::ErrorCallback error) {
            CatalogueRequests().getAllFilesForSync(std::move(completion), std::move(progress),
                                                   std::move(error));
        };
    }
    if (!services.renewToken) {
        services.renewToken = [](SyncManager::TokenCompletion completion,
                                 SyncManager::ErrorCallback error) {
            KeychainBridge& keychain = KeychainBridge::shared();
            InterfaceManager::sharedInstance().getTokenWithUsername(
                keychain.username(), keychain.password(),
                [completion = std::move(completion)](std::optional<std::string> token,
                                                     std::optional<std::string>) {
                    completion(std::move(token));
                },
                std::move(error));
        };
    }
    if (!services.makeDownloadOperation) {
        // The downloads share their connections: the content and the thumbnail of every
        // operation running at once may be in flight together (resources wait for a free one).
        auto sessions =
            std::make_shared<DownloadSessions>(2 * SyncManager::kMaxConcurrentDownloads);
        services.makeDownloadOperation = [sessions](std::int64_t fileID,
                                                    SyncManager::Done completion,
                                                    SyncManager::Progress progress,
                                                    SyncManager::ErrorCallback error) {
            FileDownloadOperation::Environment environment =
                FileDownloadOperation::sharedEnvironment();
            if (!environment.sessions) {
                environment.sessions = sessions;
            }
            return std::static_pointer_cast<AsyncOperation>(std::make_shared<FileDownloadOperation>(
                fileID, std::move(completion), std::move(progress), std::move(error),
                std::move(environment)));
        };
    }
    if (!services.diskSpaceAvailableForSize) {
        services.diskSpaceAvailableForSize = [](std::uint64_t bytes) {
            return VXProtectedFileManager::sharedInstance().diskSpaceAvailableForSize(bytes);
        };
    }
    if (!services.isReachableViaWLAN) {
        services.isReachableViaWLAN = [] {
            InterfaceManager& interface = InterfaceManager::sharedInstance();
            if (!interface.isReachableViaWLAN()) {
                return false;
            }
            // Without a running watch nothing says otherwise: every connection counts as
            // unmetered on this platform.
            ReachabilityWatcher* watcher = interface.reachabilityWatcher();
            if (!watcher) {
                return true;
            }
            std::optional<NetworkStatus> status = watcher->currentStatus();
            return !status || *status == NetworkStatus::ReachableViaWiFi;
        };
    }
    if (!services.sendReadConfirmation) {
        services.sendReadConfirmation = [](const File& file, SyncManager::Done completion,
                                           SyncManager::ErrorCallback error) {
            SharingRequests().sendReadConfirmationForFile(file, std::move(completion),
                                                          std::move(error));
        };
    }
    if (!services.autoSyncEnabled) {
        services.autoSyncEnabled = [] {
            auto value = SettingsManager::sharedInstance().getSettingInGroup(settings::kSyncGroup,
                                                                             settings::kAutoSync);
            return value && value->boolValue(false);
        };
    }
    if (!services.syncIntervalMinutes) {
        services.syncIntervalMinutes = [] {
            auto value = SettingsManager::sharedInstance().getSettingInGroup(
                settings::kSyncGroup, settings::kSyncInterval);
            return value ? value->realValue(kDefaultSyncIntervalMinutes)
                         : kDefaultSyncIntervalMinutes;
        };
    }
    if (!services.removalGuard) {
        services.removalGuard = MassRemovalGuard::shared();
    }
    if (!services.presenter) {
        services.presenter = Presenter::sharedPointer();
    }
    if (!services.localizedText) {
        services.localizedText = [](std::string_view key, std::string_view fallback) {
            const auto& lookup = FileDownloadOperation::sharedEnvironment().localizedText;
            return lookup ? lookup(key, fallback) : std::string(fallback);
        };
    }
    return services;
}

}  // namespace

void SyncManager::Impl::setUp() {
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    queue = std::make_shared<SyncDownloadQueue>(
        services.makeDownloadOperation,
        [weakSelf](std::size_t, bool) {
            if (auto self = weakSelf.lock()) {
                self->announceActivity();
            }
        },
        kMaxConcurrentDownloads);
    walkQueue = std::make_unique<OperationQueue>(1, "sync walk");
}

void SyncManager::Impl::shutdown() {
    timer.invalidate();
    shouldCancelSync = true;
    ++stopGeneration;
    // The walks first: a walk still running could otherwise queue into a closed queue.
    walkQueue.reset();
    if (queue) {
        queue->shutdown();
    }
}

// ---- automatic synchronisation

void SyncManager::Impl::startAutoSync() {
    double minutes = services.syncIntervalMinutes();
    if (!(minutes > 0)) {
        minutes = kDefaultSyncIntervalMinutes;
    }
    auto interval = std::chrono::milliseconds(static_cast<std::int64_t>(minutes * 60'000.0));
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    timer = Timer::scheduledTimer(MainQueue::shared(), interval, false, [weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->performAutoSync();
        }
    });
}

void SyncManager::Impl::performAutoSync() {
    bool syncActive = autoSyncActive || (queue && queue->isActive());
    if (syncActive || !services.autoSyncEnabled() || !services.isReachableViaWLAN()) {
        startAutoSync();
        return;
    }
    autoSyncActive = true;
    announceActivity();
    PW_LOG_INFO(kLogAutoSyncStarted);
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    getDataForSync(
        [weakSelf] {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            if (!self->autoSyncActive) {
                // stop() ended it while the catalogue was importing.
                self->startAutoSync();
                return;
            }
            auto store = PersistentStore::shared();
            auto user = CurrentSelection::userKey();
            auto locale = CurrentSelection::localeKey();
            std::size_t pending = 0;
            if (store && user && locale) {
                auto states = FileState::statesPendingDownloadOrDeletion(store->mainContext(),
                                                                         *user, *locale);
                if (!states.ok()) {
                    PW_LOG_ERROR_VALUE(states.error());
                } else {
                    pending = states.value().size();
                }
            }
            if (pending == 0) {
                self->endAutoSync(kLogNoAutoSyncNeeded);
                return;
            }
            self->tellScreen(true);
            self->downloadAll(
                CategoryFilter::withType(CategoryFilterType::All),
                [weakSelf](const DownloadResult& result) {
                    auto owner = weakSelf.lock();
                    if (!owner) {
                        return;
                    }
                    if (result.error) {
                        PW_LOG_ERROR_VALUE(*result.error);
                    }
                    owner->endAutoSync(kLogAutoSyncFinished);
                    owner->tellScreen(false);
                },
                nullptr);
        },
        nullptr,
        [weakSelf](const Error& error) {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            PW_LOG_ERROR_VALUE(error);
            self->endAutoSync(nullptr);
        },
        // Nobody is asked during an automatic synchronisation: the next one the user starts
        // decides.
        MassRemoval::Skip);
}

void SyncManager::Impl::endAutoSync(const char* message) {
    autoSyncActive = false;
    if (message) {
        PW_LOG_INFO("{}", message);
    }
    announceActivity();
    startAutoSync();
}

void SyncManager::Impl::stop() {
    shouldCancelSync = true;
    ++stopGeneration;
    autoSyncActive = false;
    if (queue) {
        queue->clearActive();
        queue->cancelAll();
    }
    announceActivity();
}

// ---- catalogue

void SyncManager::Impl::getDataForSync(Done completion, Progress progress, ErrorCallback error,
                                       MassRemoval massRemoval) {
    LeftoverDownloads::removeOlderThan(createdAt);
    std::shared_ptr<MassRemovalGuard> guard = services.removalGuard;
    guard->beginSync(false);
    Done done = [completion = std::move(completion), guard] {
        guard->beginSync(false);
        // Merging leaves the store usable whatever it finds; a failure is only logged.
        Status cleaned = RemoveDuplicateFiles::removeDuplicateFilesAndCategories();
        if (!cleaned.ok()) {
            PW_LOG_ERROR_VALUE(cleaned.error());
        }
        if (completion) {
            completion();
        }
    };
    Progress reported = [progress = std::move(progress)](double fraction) {
        if (progress) {
            progress(fraction);
        }
    };
    ErrorCallback failed = [error = std::move(error), guard](const Error& failure) {
        // A later synchronisation judges its own answers afresh.
        std::optional<MassRemovalGuard::Removal> held = guard->heldBack();
        guard->beginSync(false);
        if (held && MassRemovalGuard::isHeldBack(failure)) {
            PW_LOG_WARNING("{}", MassRemovalGuard::heldBackError(*held).description);
        }
        if (error) {
            error(held && MassRemovalGuard::isHeldBack(failure)
                      ? MassRemovalGuard::heldBackError(*held)
                      : failure);
        }
    };
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    services.catalogueSync(
        done, reported,
        [weakSelf, guard, massRemoval, done, reported, failed](const Error& failure) {
            auto self = weakSelf.lock();
            std::optional<MassRemovalGuard::Removal> held = guard->heldBack();
            if (!self || massRemoval == MassRemoval::Skip || !held ||
                !MassRemovalGuard::isHeldBack(failure)) {
                failed(failure);
                return;
            }
            self->askAboutMassRemoval(
                *held, [weakSelf, guard, done, reported, failed, failure](bool confirmed) {
                    auto owner = weakSelf.lock();
                    if (!owner || !confirmed) {
                        failed(failure);
                        return;
                    }
                    PW_LOG_INFO("The user confirmed the removal; importing the catalogue again");
                    guard->beginSync(true);
                    owner->services.catalogueSync(done, reported, failed);
                });
        });
}

void SyncManager::Impl::askAboutMassRemoval(const MassRemovalGuard::Removal& removal,
                                            std::function<void(bool confirmed)> decided) {
    Alert alert = MassRemovalGuard::question(removal, services.localizedText);
    const int yes = alert.firstOtherButtonIndex();
    services.presenter->showAlert(
        alert, [decided = std::move(decided), yes](int button) { decided(button == yes); });
}

// ---- downloads

void SyncManager::Impl::renewToken(TokenCompletion completion, ErrorCallback error) {
    services.renewToken(
        [completion = std::move(completion)](std::optional<std::string> token) {
            if (token && !token->empty()) {
                KeychainBridge& keychain = KeychainBridge::shared();
                keychain.saveUsername(keychain.username(), keychain.password(), token);
            }
            completion(std::move(token));
        },
        std::move(error));
}

void SyncManager::Impl::downloadAll(const CategoryFilter& filter, DownloadCompletion completion,
                                    FileCompletion fileCompletion) {
    auto once = std::make_shared<OnceCompletion>(OnceCompletion{std::move(completion)});
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    auto end = [once](Ending ending, std::optional<Error> error) {
        DownloadResult result;
        result.ending = ending;
        result.error = std::move(error);
        MainQueue::shared().post([once, result] { (*once)(result); });
    };
    std::uint64_t generation = stopGeneration.load();
    renewToken(
        [weakSelf, filter, once, end, fileCompletion,
         generation](std::optional<std::string> token) {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            if (self->stopGeneration.load() != generation) {
                // stop() came while the token was renewed: nothing is queued any more.
                end(Ending::Cancelled, std::nullopt);
                return;
            }
            if (!token || token->empty()) {
                PW_LOG_INFO(kLogTokenEmpty);
                end(Ending::NoToken, std::nullopt);
                return;
            }
            auto store = PersistentStore::shared();
            if (!store) {
                end(Ending::Finished, noStoreError());
                return;
            }
            CategoryTree tree(store->mainContext(), self->downloadErrorTest());
            auto roots = tree.filteredRootCategories(filter);
            if (!roots.ok()) {
                PW_LOG_ERROR_VALUE(roots.error());
                end(Ending::Finished, roots.error());
                return;
            }
            struct Total {
                DownloadResult result;
                std::size_t pending = 0;
            };
            auto total = std::make_shared<Total>();
            for (const FileCategory& root : roots.value()) {
                if (root.cmsID) {
                    ++total->pending;
                }
            }
            if (total->pending == 0) {
                end(Ending::Finished, std::nullopt);
                return;
            }
            auto handled = std::make_shared<HandledFiles>();
            for (const FileCategory& root : roots.value()) {
                if (!root.cmsID) {
                    continue;
                }
                self->downloadCategory(
                    *root.cmsID, filter,
                    [total, once](const DownloadResult& result) {
                        merge(total->result, result);
                        if (--total->pending == 0) {
                            (*once)(total->result);
                        }
                    },
                    fileCompletion, handled);
            }
        },
        [end](const Error& error) {
            PW_LOG_ERROR_VALUE(error);
            end(Ending::TokenFailed, error);
        });
}

void SyncManager::Impl::downloadCategory(std::int64_t categoryID, const CategoryFilter& filter,
                                         DownloadCompletion completion,
                                         FileCompletion fileCompletion,
                                         std::shared_ptr<HandledFiles> handled) {
    shouldCancelSync = false;
    std::uint64_t generation = stopGeneration.load();
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    auto run = std::make_shared<CategoryRun>();
    // A stop() while the category ran ends it as cancelled, also when its walk was done and
    // only its queued files were cut short.
    run->completion = [weakSelf, generation,
                       completion = std::move(completion)](const DownloadResult& result) {
        if (!completion) {
            return;
        }
        auto self = weakSelf.lock();
        if (self && self->stopGeneration.load() != generation) {
            DownloadResult stopped = result;
            stopped.ending = Ending::Cancelled;
            completion(stopped);
            return;
        }
        completion(result);
    };
    run->fileCompletion = std::move(fileCompletion);

    if (autoSyncActive) {
        // An automatic sync must not fill the disk: nothing is queued when the pending
        // downloads do not fit, and the category still ends so the sync ends.
        auto store = PersistentStore::shared();
        auto needed = store ? neededForSync(store->mainContext()) : Result<std::uint64_t>(0);
        if (!needed.ok()) {
            PW_LOG_ERROR_VALUE(needed.error());
        } else if (!diskSpaceAvailable(needed.value())) {
            run->result.ending = Ending::NotEnoughSpace;
            MainQueue::shared().post([run] { run->release(); });
            return;
        }
    }

    if (!walkQueue) {
        // Shut down: the category ends without a walk.
        run->result.ending = Ending::Cancelled;
        MainQueue::shared().post([run] { run->release(); });
        return;
    }
    walkQueue->addOperation([weakSelf, categoryID, filter, run, generation, handled] {
        if (auto self = weakSelf.lock()) {
            self->walkCategory(categoryID, filter, run, generation, *handled);
        }
        MainQueue::shared().post([run] { run->release(); });
    });
}

void SyncManager::Impl::walkCategory(std::int64_t categoryID, const CategoryFilter& filter,
                                     const std::shared_ptr<CategoryRun>& run,
                                     std::uint64_t generation, HandledFiles& handled) {
    auto fail = [&run](const Error& error) {
        PW_LOG_ERROR_VALUE(error);
        MainQueue::shared().post([run, error] {
            if (!run->result.error) {
                run->result.error = error;
            }
        });
    };
    auto store = PersistentStore::shared();
    auto userKey = CurrentSelection::userKey();
    auto localeKey = CurrentSelection::localeKey();
    if (!store || !userKey || !localeKey) {
        return;
    }
    auto made = store->newPrivateContext();
    if (!made.ok()) {
        fail(made.error());
        return;
    }
    StoreContext& context = *made.value();
    // "cmsID = %@ AND users CONTAINS %@ AND locale = %@"
    auto category = FileCategory::findWithID(context, categoryID, *localeKey);
    if (!category.ok()) {
        fail(category.error());
        return;
    }
    if (!category.value()) {
        return;
    }
    auto users = category.value()->userKeys(context);
    if (!users.ok()) {
        fail(users.error());
        return;
    }
    if (std::find(users.value().begin(), users.value().end(), *userKey) == users.value().end()) {
        return;
    }

    CategoryTree tree(context, downloadErrorTest(), CategoryTree::Scope{userKey, localeKey});
    auto closure = tree.filteredCategoryClosure(*category.value(), filter);
    if (!closure.ok()) {
        fail(closure.error());
        return;
    }
    for (const FileCategory& member : closure.value()) {
        auto files = tree.filteredFiles(member, filter);
        if (!files.ok()) {
            fail(files.error());
            return;
        }
        for (const File& file : files.value()) {
            if (cancelled(generation)) {
                MainQueue::shared().post([run] { run->result.ending = Ending::Cancelled; });
                return;
            }
            if (!file.cmsID || queue->isQueued(*file.cmsID) || !handled.claim(*file.cmsID)) {
                continue;
            }
            if (!file.downloaded || file.updateAvailable) {
                queueForRun(file, run);
                continue;
            }
            auto state = file.fileStateForUser(context, *userKey);
            if (!state.ok()) {
                fail(state.error());
                return;
            }
            // Only the user's own removal is undone; a file the server removed for the user
            // stays removed (the tree does not list it, this guards a stale one).
            if (!state.value() || !state.value()->removedByUser()) {
                continue;
            }
            // The copy is on disk already: showing it again needs no transfer.
            FileState shown = *state.value();
            if (Status saved = shown.showAgain(context); !saved.ok()) {
                fail(saved.error());
                return;
            }
            FileOutcome outcome{Kind::Unhidden, *file.cmsID, file.pk, std::nullopt};
            MainQueue::shared().post([run, outcome] { run->fileEnded(outcome); });
        }
    }
}

void SyncManager::Impl::queueForRun(const File& file, const std::shared_ptr<CategoryRun>& run) {
    ++run->pending;
    std::int64_t fileID = *file.cmsID;
    std::int64_t fileKey = file.pk;
    std::string title = file.title.value_or("");
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    queue->add(
        fileID,
        [weakSelf, run, fileID, fileKey, title](SyncDownloadQueue::Outcome result,
                                                const std::optional<Error>& error) {
            FileOutcome outcome{Kind::Downloaded, fileID, fileKey, error};
            switch (result) {
                case SyncDownloadQueue::Outcome::Downloaded:
                    if (auto self = weakSelf.lock(); self && self->hooks.trackEvent) {
                        self->hooks.trackEvent(kDownloadEventType,
                                               fmt::format(kDownloadEventLabel, fileID, title),
                                               kSyncViewScreenName);
                    }
                    break;
                case SyncDownloadQueue::Outcome::Failed:
                    outcome.kind = Kind::Failed;
                    break;
                case SyncDownloadQueue::Outcome::Cancelled:
                    outcome.kind = Kind::Cancelled;
                    break;
            }
            run->fileEnded(outcome);
            run->release();
        },
        nullptr);
}

// ---- disk space

Result<std::uint64_t> SyncManager::Impl::neededForSync(StoreContext& context) {
    auto userKey = CurrentSelection::userKey();
    auto localeKey = CurrentSelection::localeKey();
    if (!userKey || !localeKey) {
        return std::uint64_t{0};
    }
    return SyncDiskSpace::neededForSync(context, *userKey, *localeKey);
}

bool SyncManager::Impl::diskSpaceAvailable(std::uint64_t bytes) const {
    return services.diskSpaceAvailableForSize(bytes);
}

// ---- erasing

void SyncManager::Impl::resetData(Progress progress, ErrorCallback error) {
    if (queue && queue->isActive()) {
        stop();
    }
    auto report = [progress](double fraction) {
        MainQueue::shared().post([progress, fraction] {
            if (progress) {
                progress(fraction);
            }
        });
    };
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    if (!walkQueue) {
        return;  // shut down
    }
    walkQueue->addOperation([weakSelf, report, progress, error] {
        auto failed = [&error](const Error& failure) {
            PW_LOG_ERROR_VALUE(failure);
            MainQueue::shared().post([error, failure] {
                if (error) {
                    error(failure);
                }
            });
        };
        auto store = PersistentStore::shared();
        if (!store) {
            failed(noStoreError());
            return;
        }
        auto made = store->newPrivateContext();
        if (!made.ok()) {
            failed(made.error());
            return;
        }
        Status erased = CatalogueEraser::eraseAll(*made.value(), report);
        if (!erased.ok()) {
            failed(erased.error());
            return;
        }
        // The sign-out follows in the same turn, so a caller that stops waiting at 1.0 finds
        // it done.
        MainQueue::shared().post([weakSelf, progress] {
            if (progress) {
                progress(1.0);
            }
            TimestampManager::resetAllTimestamps();
            auto self = weakSelf.lock();
            if (self && self->hooks.removeCurrentLocale) {
                self->hooks.removeCurrentLocale();
            }
            if (self) {
                self->finishSignOut();
            }
        });
    });
}

void SyncManager::Impl::finishSignOut() {
    LoginManager::shared().logout();
    if (hooks.showSignIn) {
        hooks.showSignIn();
    }
}

// ---- read confirmations

void SyncManager::Impl::sendReadConfirmations() {
    if (sendingReadConfirmations) {
        return;
    }
    auto store = PersistentStore::shared();
    if (!store) {
        return;
    }
    auto files = File::filesWithUnsentConfirmation(store->mainContext());
    if (!files.ok()) {
        PW_LOG_ERROR_VALUE(files.error());
        return;
    }
    if (files.value().empty()) {
        return;
    }
    PW_LOG_INFO(kLogReadConfirmations, files.value().size());
    sendingReadConfirmations = true;
    auto remaining = std::make_shared<std::size_t>(files.value().size());
    std::weak_ptr<Impl> weakSelf = weak_from_this();
    auto answered = [weakSelf, remaining] {
        if (--*remaining > 0) {
            return;
        }
        MainQueue::shared().post([weakSelf] {
            if (auto self = weakSelf.lock()) {
                self->sendingReadConfirmations = false;
            }
        });
    };
    for (const File& file : files.value()) {
        services.sendReadConfirmation(file, answered, [answered](const Error&) { answered(); });
    }
}

// ---- SyncManager

SyncManager::SyncManager() : SyncManager(Services{}) {}

SyncManager::SyncManager(Services services)
    : impl_(std::make_shared<Impl>(withDefaults(std::move(services)))) {
    impl_->setUp();
}

SyncManager::~SyncManager() {
    impl_->shutdown();
}

SyncManager& SyncManager::sharedInstance() {
    return *sharedPointer();
}

std::shared_ptr<SyncManager> SyncManager::sharedPointer() {
    std::lock_guard lock(sharedMutex());
    if (!sharedManager()) {
        sharedManager() = std::make_shared<SyncManager>();
    }
    return sharedManager();
}

void SyncManager::setShared(std::shared_ptr<SyncManager> manager) {
    std::shared_ptr<SyncManager> previous;
    {
        std::lock_guard lock(sharedMutex());
        previous = std::exchange(sharedManager(), std::move(manager));
    }
    // Released outside the lock: its destructor waits for its walks.
}

void SyncManager::setHooks(Hooks hooks) {
    impl_->hooks = std::move(hooks);
}

const SyncManager::Hooks& SyncManager::hooks() const {
    return impl_->hooks;
}

void SyncManager::setSyncViewController(std::weak_ptr<SyncInProgressListener> controller) {
    impl_->viewController = std::move(controller);
}

void SyncManager::startAutoSync() {
    impl_->startAutoSync();
}

std::optional<SystemTime> SyncManager::nextAutoSyncDate() const {
    return impl_->timer.fireDate();
}

bool SyncManager::isActive() const {
    return impl_->queue->isActive();
}

bool SyncManager::isAutoSyncActive() const {
    return impl_->autoSyncActive;
}

bool SyncManager::isSyncActive() const {
    return isActive() || isAutoSyncActive();
}

SyncManager::Activity SyncManager::activity() const {
    return impl_->activity();
}

int SyncManager::addActivityObserver(ActivityObserver observer) {
    int token = impl_->nextObserver++;
    impl_->observers.emplace(token, std::move(observer));
    return token;
}

void SyncManager::removeActivityObserver(int token) {
    impl_->observers.erase(token);
}

void SyncManager::renewToken(TokenCompletion completion, ErrorCallback error) {
    impl_->renewToken(std::move(completion), std::move(error));
}

void SyncManager::stop() {
    impl_->stop();
}

void SyncManager::setShouldCancelSync(bool shouldCancel) {
    if (shouldCancel) {
        stop();
    }
}

void SyncManager::removeLeftoverDownloads() {
    LeftoverDownloads::removeOlderThan(impl_->createdAt);
}

void SyncManager::getDataForSync(Done completion, Progress progress, ErrorCallback error,
                                 MassRemoval massRemoval) {
    impl_->getDataForSync(std::move(completion), std::move(progress), std::move(error),
                          massRemoval);
}

void SyncManager::deleteRemovedFiles(Done completion, ErrorCallback) {
    if (completion) {
        completion();
    }
}

Result<std::uint64_t> SyncManager::neededDiskspaceForSync() {
    auto store = PersistentStore::shared();
    if (!store) {
        return noStoreError();
    }
    return neededDiskspaceForSync(store->mainContext());
}

Result<std::uint64_t> SyncManager::neededDiskspaceForSync(StoreContext& context) {
    return impl_->neededForSync(context);
}

Result<std::uint64_t> SyncManager::neededDiskspaceForCategories(
    const std::vector<FileCategory>& categories, const CategoryFilter& filter) {
    auto store = PersistentStore::shared();
    if (!store) {
        return noStoreError();
    }
    return neededDiskspaceForCategories(store->mainContext(), categories, filter);
}

Result<std::uint64_t> SyncManager::neededDiskspaceForCategories(
    StoreContext& context, const std::vector<FileCategory>& categories,
    const CategoryFilter& filter) {
    auto userKey = CurrentSelection::userKey();
    if (!userKey) {
        return std::uint64_t{0};
    }
    CategoryTree tree(context, impl_->downloadErrorTest());
    std::set<std::int64_t> calculatedIDs;
    return SyncDiskSpace::neededForCategories(tree, *userKey, categories, filter, calculatedIDs);
}

bool SyncManager::diskSpaceAvailableForSize(std::uint64_t bytes) const {
    return impl_->diskSpaceAvailable(bytes);
}

void SyncManager::downloadAllFiles(const CategoryFilter& filter, DownloadCompletion completion,
                                   FileCompletion fileCompletion) {
    impl_->downloadAll(filter, std::move(completion), std::move(fileCompletion));
}

void SyncManager::downloadAllFilesWithFilter(CategoryFilterType filter,
                                             DownloadCompletion completion,
                                             FileCompletion fileCompletion) {
    downloadAllFiles(CategoryFilter::withType(filter), std::move(completion),
                     std::move(fileCompletion));
}

void SyncManager::downloadAllFilesWithKeyword(const std::string& keyword,
                                              DownloadCompletion completion,
                                              FileCompletion fileCompletion) {
    downloadAllFiles(CategoryFilter::withKeyword(keyword), std::move(completion),
                     std::move(fileCompletion));
}

void SyncManager::downloadFilesInCategoryWithID(std::int64_t categoryID,
                                                const CategoryFilter& filter,
                                                DownloadCompletion completion,
                                                FileCompletion fileCompletion) {
    impl_->downloadCategory(categoryID, filter, std::move(completion), std::move(fileCompletion),
                            std::make_shared<HandledFiles>());
}

void SyncManager::downloadFileWithID(std::int64_t fileID, Done completion, Progress progress,
                                     ErrorCallback error) {
    impl_->queue->add(
        fileID,
        [completion = std::move(completion), error = std::move(error)](
            SyncDownloadQueue::Outcome outcome, const std::optional<Error>& failure) {
            if (outcome == SyncDownloadQueue::Outcome::Failed) {
                if (error) {
                    error(failure.value_or(Error::make(kAppErrorDomain, -1, "Download failed")));
                }
            } else if (completion) {
                completion();
            }
        },
        std::move(progress));
}

void SyncManager::cancelDownloadForFileWithID(std::int64_t fileID) {
    impl_->queue->cancel(fileID);
}

bool SyncManager::isInDownloadQueueWithFileID(std::int64_t fileID) const {
    return impl_->queue->isQueued(fileID);
}

std::vector<std::int64_t> SyncManager::queuedFileIDs() const {
    return impl_->queue->queuedIDs();
}

std::size_t SyncManager::errorCount() const {
    return impl_->queue->errorCount();
}

std::optional<Error> SyncManager::errorForFile(const File& file) const {
    return file.cmsID ? errorForFileWithID(*file.cmsID) : std::nullopt;
}

std::optional<Error> SyncManager::errorForFileWithID(std::int64_t fileID) const {
    return impl_->queue->errorFor(fileID);
}

void SyncManager::removeErrorForFile(const File& file) {
    if (file.cmsID) {
        removeErrorForFileWithID(*file.cmsID);
    }
}

void SyncManager::removeErrorForFileWithID(std::int64_t fileID) {
    impl_->queue->removeError(fileID);
}

std::vector<std::int64_t> SyncManager::fileIDsWithErrors() const {
    return impl_->queue->fileIDsWithErrors();
}

void SyncManager::resetData(Progress progress, ErrorCallback error) {
    impl_->resetData(std::move(progress), std::move(error));
}

void SyncManager::resetDataTimestamps() {
    if (impl_->queue->isActive()) {
        stop();
    }
    std::weak_ptr<Impl> weakSelf = impl_;
    MainQueue::shared().post([weakSelf] {
        TimestampManager::resetAllTimestamps();
        if (auto self = weakSelf.lock()) {
            self->finishSignOut();
        }
    });
}

void SyncManager::sendReadConfirmationForUnsyncedFiles() {
    impl_->sendReadConfirmations();
}

bool SyncManager::isSendingReadConfirmations() const {
    return impl_->sendingReadConfirmations;
}

}  // namespace pagewell
