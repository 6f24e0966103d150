#pragma once
// The synchronisation screen as a model: the category tree it lists under the chosen filter or
// search text, and the user's actions on it. The command line and a graphical front end drive
// the same model; what a view shows (overlay, buttons, rows) reaches it through Display.
//
//   refresh       offline ─► offline-mode question. Downloads running ─► nothing. Otherwise
//                 overlay with progress, catalogue synchronisation, new tree, overlay off.
//   download all  a sync running ─► stop it, buttons back, new tree. Offline ─► offline-mode
//                 question. Otherwise the bytes the shown roots still need:
//                   0             ─► "There are no files to download"
//                   > free space  ─► "Not enough disk space"
//                   otherwise     ─► "Start sync" question; "Yes": buttons busy, download-all
//                                    of the filter or keyword, each file refreshes its row,
//                                    the end refreshes the rows and turns the buttons back
//   delete all    "Do you really want to delete all files?"; "Yes": overlay on, buttons off,
//                 every downloaded file of the user removed in a background context (saved
//                 after each), "deleting files finished", new tree, overlay off
//   start (file)  offline ─► offline-mode question; hidden local copy ─► shown again; else
//                 queued (unless it is) and its row follows the download
//   start (category)  offline ─► offline-mode question; token renewed (none: "Token was
//                 empty"), then the category and its subcategories under the current filter
//   cancel (file) the download is cancelled; with none left running the buttons turn back
//
// Every action reports its end once, on the main queue, through its completion.
//
// Threading: belongs to the main thread; delete-all works in a background context of its own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/CategoryFilterType.h"
#include "library/CategoryTree.h"
#include "library/CategoryWrapper.h"
#include "platform/Error.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "sync/CategorySyncTableViewCell.h"
#include "sync/SyncInProgressListener.h"
#include "sync/SyncManager.h"
#include "sync/SyncViewCell.h"

namespace pagewell {

class OperationQueue;

class SyncViewController final : public SyncInProgressListener,
                                 public SyncViewCell::Screen,
                                 public CategorySyncTableViewCell::Screen,
                                 public std::enable_shared_from_this<SyncViewController> {
  public:
    using TextLookup = SyncViewCell::TextLookup;
    using TokenCompletion = SyncManager::TokenCompletion;
    using ErrorCallback = SyncManager::ErrorCallback;

    // The collaborators; each one left empty takes the process-wide one.
    struct Services {
        SyncViewCell::Services cell;  // sync manager, store, presenter, texts
        // Default: InterfaceManager::isReachable (offline mode off).
        std::function<bool()> isReachable;
        // Default: InterfaceManager::showOfflineModeAlert.
        std::function<void(std::function<void(bool declined)>)> showOfflineModeAlert;
        // A new token for the keychain's credentials, stored in the keychain by the caller.
        // Default: InterfaceManager::getTokenWithUsername with the keychain's user and password.
        std::function<void(TokenCompletion completion, ErrorCallback error)> renewToken;
    };

    // What a view shows. Every member may be left empty; each is called on the main thread.
    struct Display {
        // The progress overlay: shown (with the synchronisation's progress) or hidden.
        std::function<void(bool shown)> overlay;
        std::function<void(double fraction)> overlayProgress;
        // The buttons' running state (setupButtonsForSyncInProgress) and whether they work.
        std::function<void(bool inProgress)> buttonsInProgress;
        std::function<void(bool enabled)> buttonsEnabled;
        // The tree must be listed again (filter, refresh, delete all, stop).
        std::function<void()> treeChanged;
        // A file of a running download ended: its row chooses its state afresh.
        std::function<void(const SyncManager::FileOutcome& outcome)> fileFinished;
        // Every visible row chooses its state afresh.
        std::function<void()> reloadVisibleRows;
    };

    struct RefreshResult {
        enum class Ending { Refreshed, Offline, DownloadsActive, Failed };
        Ending ending = Ending::Refreshed;
        std::optional<Error> error;
    };
    struct DownloadAllResult {
        enum class Ending {
            Stopped,            // a synchronisation was running and has been stopped
            Offline,            // the offline-mode question was asked instead
            NothingToDownload,  // the shown categories need 0 bytes
            NotEnoughSpace,     // they need more than the free space
            Declined,           // "No" to "Start sync"
            Downloaded,         // the download-all ran; `downloads` says how it ended
            Failed,             // the needed space could not be computed
        };
        Ending ending = Ending::Downloaded;
        std::uint64_t neededBytes = 0;
        std::optional<SyncManager::DownloadResult> downloads;
        std::optional<Error> error;
    };
    struct DeleteAllResult {
        enum class Ending { Declined, Deleted, Failed };
        Ending ending = Ending::Deleted;
        std::size_t deletedFiles = 0;
        std::optional<Error> error;
    };
    struct StartFileResult {
        enum class Ending {
            Offline,        // the offline-mode question was asked instead
            Unhidden,       // the local copy was there: shown again, nothing transferred
            AlreadyQueued,  // the file was queued before
            Ended,          // the download ended without error (or was cancelled)
            Failed,         // the download failed; `error` says why
        };
        Ending ending = Ending::Ended;
        std::optional<Error> error;
    };
    struct StartCategoryResult {
        enum class Ending { Offline, NoToken, TokenFailed, Downloaded };
        Ending ending = Ending::Downloaded;
        std::optional<Error> error;
        std::optional<SyncManager::DownloadResult> downloads;
    };

    // A screen registered with the sync manager as the open synchronisation screen.
    static std::shared_ptr<SyncViewController> create(Services services = {}, Display display = {});
    ~SyncViewController() override;
    SyncViewController(const SyncViewController&) = delete;
    SyncViewController& operator=(const SyncViewController&) = delete;

    // ---- what the screen lists

    const CategoryFilter& filter() const { return filter_; }
    // One of the filter types; ends a search.
    void setFilterType(CategoryFilterType type);
    // A non-empty text searches titles; an empty one goes back to the filter type.
    void setSearchText(const std::string& text);
    // A tree of the store as it is now, with the sync manager's download errors.
    CategoryTree makeTree();
    // The kept roots under the current filter or keyword, with their kept subtrees.
    Result<std::vector<CategoryWrapper>> currentTree();
    // A row for one file, bound to this screen.
    std::unique_ptr<SyncViewCell> makeCell(const File& file);
    // A row for one category at `level` in the tree, bound to this screen.
    std::unique_ptr<CategorySyncTableViewCell> makeCategoryCell(const FileCategory& category,
                                                                int level);
    bool isSyncInProgress() const { return syncInProgress_; }

    // ---- actions

    void refresh(std::function<void(const RefreshResult&)> done);
    void downloadAll(std::function<void(const DownloadAllResult&)> done,
                     SyncManager::FileCompletion fileDone = {});
    void deleteAll(std::function<void(const DeleteAllResult&)> done);
    void startDownloadForFile(const File& file, std::function<void(const StartFileResult&)> done);
    void startDownloadForCategory(const FileCategory& category,
                                  std::function<void(const StartCategoryResult&)> done,
                                  SyncManager::FileCompletion fileDone = {});
    void cancelDownloadForFile(std::int64_t fileID);

    // ---- the rows' screen, SyncInProgressListener

    void startDownloadWithSyncCell(SyncViewCell& cell) override;
    void cancelDownloadWithSyncCell(SyncViewCell& cell) override;
    void reloadVisibleRows() override;
    // A category row's download button: startDownloadForCategory with the current filter.
    void startDownloadWithCategoryCell(CategorySyncTableViewCell& cell) override;
    void setupButtonsForSyncInProgress(bool inProgress) override;

    // ---- texts

    static constexpr const char* kSyncTitleKey = "SYNC";
    static constexpr const char* kSyncTitle = "Sync";
    static constexpr const char* kNoDownloadKey = "SYNC_NO_DOWNLOAD";
    static constexpr const char* kNoDownload = "There are no files to download";
    static constexpr const char* kNoSpaceTitle = "Not enough disk space";
    static constexpr const char* kNoSpaceKey = "SYNC_NO_SPACE";
    static constexpr const char* kNoSpace =
        "Not enough space to download %@ data. Please free some space to start the sync "
        "process.";
    static constexpr const char* kStartSyncTitle = "Start sync";
    static constexpr const char* kSpaceKey = "SYNC_SPACE";
    static constexpr const char* kSpace =
        "The sync process uses %@ disk space. Do you want to start the sync process.";
    static constexpr const char* kDeleteAllQuestionKey = "DELETE_ALL_QUEST";
    static constexpr const char* kDeleteAllQuestion = "Do you really want to delete all files?";
    static constexpr const char* kDownloadAllKey = "DOWN_ALL";
    static constexpr const char* kDownloadAll = "Download all";
    static constexpr const char* kDeleteAllKey = "DELETE_ALL";
    static constexpr const char* kDeleteAll = "Delete all";
    static constexpr const char* kOkKey = "OK";
    static constexpr const char* kOk = "Ok";
    static constexpr const char* kYesKey = "YES";
    static constexpr const char* kYes = "Yes";
    static constexpr const char* kNoKey = "NO";
    static constexpr const char* kNo = "No";
    static constexpr const char* kLogDeletingFinished = "deleting files finished";
    static constexpr const char* kLogTokenEmpty = "Token was empty";

  private:
    SyncViewController(Services services, Display display);

    std::string text(std::string_view key, std::string_view fallback) const;
    // `format` with its "%@" replaced by `value`.
    static std::string filled(std::string format, const std::string& value);
    void showOfflineAlert(std::function<void()> then);
    void showInfoAlert(std::string title, std::string message, std::function<void()> then);
    void startDownloadAll(std::function<void(const DownloadAllResult&)> done,
                          SyncManager::FileCompletion fileDone, std::uint64_t neededBytes);
    // The background part of delete-all: the number of files removed, or the first failure.
    static Result<std::size_t> deleteDownloadedFiles(const std::shared_ptr<PersistentStore>& store,
                                                     std::optional<std::int64_t> userKey);

    Services services_;
    Display display_;
    CategoryFilterType filterType_ = CategoryFilterType::All;
    CategoryFilter filter_;
    bool syncInProgress_ = false;
    std::unique_ptr<OperationQueue> background_;
};

}  // namespace pagewell
