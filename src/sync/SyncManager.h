#pragma once
// Keeps the local catalogue in step with the server: runs the catalogue import, decides which
// files are downloaded, un-hidden or counted for disk space, feeds the download queue (at most
// 4 FileDownloadOperations at a time), keeps one error per failed file, runs the automatic
// synchronisation on a timer, resends read confirmations given offline, and erases the
// synchronised data on request.
//
// Automatic synchronisation (every path ends by scheduling the next timer):
//
//   timer (SYNC_INTERVAL minutes) ──► a sync active, AUTO_SYNC off or no unmetered
//        │                            connection? ──yes──► startAutoSync
//        ▼ no
//   isAutoSyncActive ──► getDataForSync (a mass removal is skipped, never asked)
//        │                 ──error──► clear, startAutoSync
//        │ done
//        ▼
//   anything pending for the user? ──no──► clear, "No auto sync needed", startAutoSync
//        │ yes
//        ▼
//   downloadAllFiles(All) ──ends once (finished, token failed, no space, cancelled)──►
//        clear, "Auto sync finished", startAutoSync
//
// Download-all:
//
//   renew token ──error / empty──► DownloadResult{TokenFailed / NoToken}, nothing queued
//        │ token → keychain
//        ▼
//   each filtered root category ──► downloadFilesInCategoryWithID ──► all ended ──► completion
//
// One category (walked on a background queue in its own store context, subcategories after
// its files, every category once):
//
//   automatic sync and the pending bytes exceed the free space ──► NotEnoughSpace, nothing
//   queued. Per file that passes the filter: cancelled ─► stop the walk; queued, or handled
//   already by this download-all ─► skip; missing or outdated ─► downloadFileWithID;
//   downloaded but removed by the user ─► un-hide (a file the server removed for the user
//   is not in the tree and never shown again by a download). The category ends when the walk and
//   all its queued files have ended; a stop() meanwhile makes its ending Cancelled.
//
// Queue: a file's ID is in the queued IDs from downloadFileWithID until its operation reports
// (completion, error) or it is cancelled; isActive holds while any ID is queued. A failed file
// keeps its error until it is queued again or cancelled.
//
// Every completion and error callback is called exactly once, on the main queue.
//
// Threading: the operations belong to the main thread, except downloadFileWithID,
// isInDownloadQueueWithFileID, queuedFileIDs and the error queries, which may be called from any
// thread (the category walks queue files from a background thread). queueMutex_ guards the
// queued entries and the errors; the other members belong to the main thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/CategoryFilterType.h"
#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class AsyncOperation;
class MassRemovalGuard;
class OperationQueue;
class Presenter;
class StoreContext;
class SyncInProgressListener;
struct File;
struct FileCategory;

class SyncManager {
  public:
    using Done = std::function<void()>;
    using Progress = std::function<void(double fraction)>;
    using ErrorCallback = std::function<void(const Error& error)>;
    using TokenCompletion = std::function<void(std::optional<std::string> token)>;

    // How one file of a download-all or category download ended.
    struct FileOutcome {
        enum class Kind {
            Downloaded,  // transferred and marked downloaded
            Failed,      // the download failed; `error` says why
            Unhidden,    // the copy was on disk already; only made visible again
            Cancelled,   // cancelled (stop, cancelDownloadForFileWithID) before it ended
        };
        Kind kind = Kind::Downloaded;
        std::int64_t fileID = 0;   // cmsID
        std::int64_t fileKey = 0;  // store row key
        std::optional<Error> error;
    };
    using FileCompletion = std::function<void(const FileOutcome& outcome)>;

    // What a download-all or one category did, file by file (cmsIDs, in the order they ended).
    struct DownloadSummary {
        std::vector<std::int64_t> downloaded;
        std::vector<std::pair<std::int64_t, Error>> failed;
        std::vector<std::int64_t> unhidden;
        std::vector<std::int64_t> cancelled;
    };

    // How a download-all or one category ended.
    struct DownloadResult {
        enum class Ending {
            Finished,        // every category was walked and every queued file ended
            TokenFailed,     // the token renewal failed (`error`); nothing was queued
            NoToken,         // the token renewal gave no token; nothing was queued
            NotEnoughSpace,  // an automatic sync found too little free space; nothing queued
            Cancelled,       // stop() ended the walk
        };
        Ending ending = Ending::Finished;
        std::optional<Error> error;
        DownloadSummary summary;
    };
    using DownloadCompletion = std::function<void(const DownloadResult& result)>;

    // The observable download state (the tab badge and the idle timer of a screen).
    struct Activity {
        // Download operations queued or running; a cancelled one counts until it has ended.
        std::size_t operationCount = 0;
        bool active = false;          // isActive
        bool autoSyncActive = false;  // isAutoSyncActive
        bool operator==(const Activity&) const = default;
    };
    using ActivityObserver = std::function<void(const Activity& activity)>;

    // The collaborators; each one left empty takes the real one. Tests replace them.
    struct Services {
        // The catalogue synchronisation. Default: CatalogueRequests::getAllFilesForSync.
        std::function<void(Done completion, Progress progress, ErrorCallback error)> catalogueSync;
        // A new token for the keychain's user name and password. Default:
        // InterfaceManager::getTokenWithUsername.
        std::function<void(TokenCompletion completion, ErrorCallback error)> renewToken;
        // The download of one file; reports through exactly one of the callbacks (a
        // cancelled operation through the completion). Default: FileDownloadOperation.
        std::function<std::shared_ptr<AsyncOperation>(std::int64_t fileID, Done completion,
                                                      Progress progress, ErrorCallback error)>
            makeDownloadOperation;
        // Whether the documents area has room for the bytes. Default:
        // VXProtectedFileManager::diskSpaceAvailableForSize.
        std::function<bool(std::uint64_t bytes)> diskSpaceAvailableForSize;
        // Reachable over an unmetered connection. Default: not in offline mode, and the
        // reachability watch (when it runs) reports the host reachable and not metered.
        std::function<bool()> isReachableViaWLAN;
        // Sends one read confirmation. Default: SharingRequests::sendReadConfirmationForFile.
        std::function<void(const File& file, Done completion, ErrorCallback error)>
            sendReadConfirmation;
        // "SYNC_SETTINGS" / "AUTO_SYNC" and "SYNC_INTERVAL" (minutes). Default: the settings.
        std::function<bool()> autoSyncEnabled;
        std::function<double()> syncIntervalMinutes;
        // Judges the catalogue import's removals. Default: MassRemovalGuard::shared().
        std::shared_ptr<MassRemovalGuard> removalGuard;
        // Asks whether a held-back removal goes ahead. Default: Presenter::shared() with the
        // download environment's localised texts.
        std::shared_ptr<Presenter> presenter;
        std::function<std::string(std::string_view key, std::string_view fallback)> localizedText;
    };

    // What lives in modules above this one. An unset hook is skipped.
    struct Hooks {
        // A usage event (type, label, screen name): type 4 for each file a sync downloaded.
        std::function<void(int type, const std::string& label, const std::string& screen)>
            trackEvent;
        // Forgets the signed-in user's content language (after erasing the data).
        std::function<void()> removeCurrentLocale;
        // The sign-in screen becomes the window's root, first tab selected.
        std::function<void()> showSignIn;
    };

    SyncManager();
    explicit SyncManager(Services services);
    ~SyncManager();
    SyncManager(const SyncManager&) = delete;
    SyncManager& operator=(const SyncManager&) = delete;

    // The process-wide manager; replaceable in tests (nullptr: a fresh one on next use).
    static SyncManager& sharedInstance();
    static std::shared_ptr<SyncManager> sharedPointer();
    static void setShared(std::shared_ptr<SyncManager> manager);

    void setHooks(Hooks hooks);
    const Hooks& hooks() const;
    // The open synchronisation screen; held weakly.
    void setSyncViewController(std::weak_ptr<SyncInProgressListener> controller);

    // ---- automatic synchronisation

    // Invalidates a scheduled timer and schedules one SYNC_INTERVAL minutes from now.
    void startAutoSync();
    // When the next automatic synchronisation is due; none when no timer is scheduled.
    std::optional<SystemTime> nextAutoSyncDate() const;

    // ---- state

    bool isActive() const;
    bool isAutoSyncActive() const;
    bool isSyncActive() const;  // isActive or isAutoSyncActive
    Activity activity() const;
    // Called on the main queue after each change of the activity; returns a token.
    int addActivityObserver(ActivityObserver observer);
    void removeActivityObserver(int token);

    // ---- stopping

    // Sets shouldCancelSync, clears isActive and isAutoSyncActive, cancels every queued
    // download and forgets the queued IDs and the errors. The timer keeps running.
    void stop();
    // true: stop().
    void setShouldCancelSync(bool shouldCancel);

    // ---- catalogue

    // Removes the partial files that downloads of an earlier, killed run left in the item
    // directories (those last written before this manager was made; see LeftoverDownloads).
    void removeLeftoverDownloads();

    // What a synchronisation does with an answer that would remove most of the user's files
    // (MassRemovalGuard): ask the user (a synchronisation the user started), or keep the files
    // and report the held-back removal (an automatic one, or a run without a user).
    enum class MassRemoval { Ask, Skip };

    // removeLeftoverDownloads, the catalogue synchronisation, then the duplicate clean-up, then
    // `completion`. When the import held a removal back, Ask puts the guard's question through
    // the presenter: "Yes" imports the catalogue again with the removal admitted (the held-back
    // answers come again, their timestamps never advanced); "No", and Skip, end with the
    // import's error, which for a held-back removal is MassRemovalGuard::heldBackError().
    void getDataForSync(Done completion, Progress progress, ErrorCallback error,
                        MassRemoval massRemoval = MassRemoval::Ask);
    // Calls `completion` at once (removed files go with the import).
    void deleteRemovedFiles(Done completion, ErrorCallback error);

    // ---- disk space

    // Bytes of the current locale's files that the current user still has to download
    // (missing or outdated), each file once.
    Result<std::uint64_t> neededDiskspaceForSync();
    Result<std::uint64_t> neededDiskspaceForSync(StoreContext& context);
    // Bytes of the files of `categories` and their filtered subcategories that pass `filter`
    // and are missing, outdated or hidden for the current user; each file counted once.
    Result<std::uint64_t> neededDiskspaceForCategories(const std::vector<FileCategory>& categories,
                                                       const CategoryFilter& filter);
    Result<std::uint64_t> neededDiskspaceForCategories(StoreContext& context,
                                                       const std::vector<FileCategory>& categories,
                                                       const CategoryFilter& filter);
    // The free-space check the manager uses (the injected one or the real one).
    bool diskSpaceAvailableForSize(std::uint64_t bytes) const;

    // ---- downloads

    // Renews the access token with the stored credentials and keeps a new one in the keychain;
    // `completion` gets the token (empty or none when the server gave none).
    void renewToken(TokenCompletion completion, ErrorCallback error);
    // Renews the token, then downloads every filtered root category (see the flow above).
    // `fileCompletion` hears of each file that ended; `completion` runs once at the end.
    void downloadAllFiles(const CategoryFilter& filter, DownloadCompletion completion,
                          FileCompletion fileCompletion);
    void downloadAllFilesWithFilter(CategoryFilterType filter, DownloadCompletion completion,
                                    FileCompletion fileCompletion);
    void downloadAllFilesWithKeyword(const std::string& keyword, DownloadCompletion completion,
                                     FileCompletion fileCompletion);
    // One category (cmsID, current locale) with its subcategories.
    void downloadFilesInCategoryWithID(std::int64_t categoryID, const CategoryFilter& filter,
                                       DownloadCompletion completion,
                                       FileCompletion fileCompletion);

    // Queues one file (cmsID). Exactly one of `completion` and `error` is called, on the main
    // queue; a cancelled download ends with `completion`. Any thread.
    void downloadFileWithID(std::int64_t fileID, Done completion, Progress progress,
                            ErrorCallback error);
    // Cancels the file's queued download, forgets its ID and its error.
    void cancelDownloadForFileWithID(std::int64_t fileID);
    bool isInDownloadQueueWithFileID(std::int64_t fileID) const;
    std::vector<std::int64_t> queuedFileIDs() const;

    // ---- per-file errors (by cmsID)

    std::size_t errorCount() const;
    std::optional<Error> errorForFile(const File& file) const;
    std::optional<Error> errorForFileWithID(std::int64_t fileID) const;
    void removeErrorForFile(const File& file);
    void removeErrorForFileWithID(std::int64_t fileID);
    // The cmsIDs of the files with an error (the download view's error filter).
    std::vector<std::int64_t> fileIDsWithErrors() const;

    // ---- erasing

    // Stops running downloads, deletes every File, FileCategory and Locale in one background
    // save reporting 0.25, 0.5 and 0.75, then 1.0 on completion; then, in the same main-queue
    // turn as the 1.0, resets every change timestamp, forgets the current language, logs out
    // and shows the sign-in screen. A failed save goes to `error` (nothing is deleted then, and
    // the session stays).
    void resetData(Progress progress, ErrorCallback error = {});
    // Stops running downloads, then resets every change timestamp, logs out and shows the
    // sign-in screen.
    void resetDataTimestamps();

    // ---- read confirmations

    // Sends the confirmations given offline, unless a batch is under way.
    void sendReadConfirmationForUnsyncedFiles();
    bool isSendingReadConfirmations() const;

    // ---- texts

    static constexpr int kMaxConcurrentDownloads = 4;
    static constexpr int kDownloadEventType = 4;
    static constexpr const char* kDownloadEventLabel = "ID - {}, Title - {}";
    static constexpr const char* kSyncViewScreenName = "SyncView";
    static constexpr const char* kLogAutoSyncStarted = "Auto sync started";
    static constexpr const char* kLogNoAutoSyncNeeded = "No auto sync needed";
    static constexpr const char* kLogAutoSyncFinished = "Auto sync finished";
    static constexpr const char* kLogTokenEmpty = "Token was empty";
    static constexpr const char* kLogReadConfirmations =
        "Start sending read confirmations for {} files";

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace pagewell
