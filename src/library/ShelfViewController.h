#pragma once
// The logic of a shelf screen: which filter it holds, its title and live result list, the
// search flows, the actions menu, hand reordering, every way of choosing a source, reloads
// from the server, and opening a file. Screens draw what it holds; the CLI drives it the same
// way.
//
//   kind 1 Highlights  highlights; reloads highlights when shown with the reload flag set
//   kind 2 Categories  highlights until a category is chosen; reloads the category list
//   kind 3 Favourites  favourites; hand order; a favourite sync and its completion on show
//   kind 4 Locations   a beacon filter without beacon (nothing) until a location is chosen
//
// Every change it makes to the store (read marks, manual order, copied positions) is committed
// before the call returns; a refresh that finds every position already in place writes
// nothing. A shelf made read-only (another process holds the data directory) never writes.
//
// Threading: main thread only; server answers arrive on the main queue.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/ShelfDatabaseFilter.h"
#include "library/ShelfResultList.h"
#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "platform/Timer.h"
#include "store/StoreContext.h"

namespace pagewell {

// A beacon or customer site in range, as the location list offers it.
struct ShelfLocation {
    std::optional<Beacon> beacon;
    std::optional<CustomerLocation> customer;
    double distance = 0;
};

class ShelfViewController : public std::enable_shared_from_this<ShelfViewController> {
  public:
    using Done = std::function<void()>;
    // How a reload or a server search ended; an error when the server could not be reached
    // and the user kept declining offline mode.
    using Finished = std::function<void(const Status& result)>;
    using Failed = std::function<void(const Error& error)>;
    using Opened = std::function<void(const Status& result)>;

    // What the shelf asks of the modules around it; an unset entry is skipped (a server call
    // fails as unreachable).
    struct Services {
        std::function<void(Done, Failed)> fetchCategories;
        std::function<void(Done, Failed)> fetchHighlights;
        std::function<void(std::int64_t categoryID, Done, Failed)> fetchFilesForCategory;
        std::function<void(const std::string& keyword, Done, Failed)> searchFiles;
        // The favourite synchronisation, without callbacks.
        std::function<void()> startFavoriteSync;
        // The offline-mode question; reports whether the user declined to switch.
        std::function<void(std::function<void(bool declined)>)> showOfflineModeAlert;
        // A warning without question (the texts of kNoConnection / kEmptyCategory).
        std::function<void(const std::string& text)> showWarning;
        // Opens a file tapped on the shelf (fetching a missing copy first).
        std::function<void(const File& file, Opened done)> openFile;
        // A usage event: type, label, screen name.
        std::function<void(int type, const std::string& label, const std::string& screen)> track;
        std::function<bool()> instantSearchEnabled;
        std::function<bool()> autoSelectLocation;
        std::function<ShelfScope()> scope;
        // How often a reload that failed on an empty store asks the offline question before
        // it gives up; 0: until the user switches to offline mode.
        int maxOfflineQuestions = 0;

        // The server calls, the offline question, the settings and the sync manager's
        // tracking hook of this process; warnings and opening are left to the caller.
        static Services standard();
    };

    enum class MenuAction { MarkRead, SortTitle, SortDate, SortServer, SortUser, Cancel };
    struct MenuEntry {
        MenuAction action;
        std::string key;
        std::string text;
    };

    // Kinds 1 to 4; any other gives none.
    static std::shared_ptr<ShelfViewController> initWithShelfType(int shelfType,
                                                                  StoreContext& context,
                                                                  Services services);
    static std::shared_ptr<ShelfViewController> initWithDatabaseFilter(ShelfDatabaseFilter filter,
                                                                       StoreContext& context,
                                                                       Services services);
    ~ShelfViewController();

    int shelfType() const { return shelfType_; }
    const ShelfDatabaseFilter& databaseFilter() const { return filter_; }
    // Stores the filter and refreshes.
    Status setDatabaseFilter(ShelfDatabaseFilter filter);
    // Rebuilds the title and the result list; copies the per-category positions first.
    Status updateContentFilter();
    const std::string& title() const { return title_; }
    // Called after the result list re-ran on a store change.
    void setChangeCallback(Done callback) { onChange_ = std::move(callback); }
    ShelfResultList* results() { return results_.get(); }
    // Never writes, not even the position copy (another process holds the data directory).
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // ---- search
    // Typing: with instant search on, a non-empty text searches, an empty one clears.
    void searchTextChanged(const std::string& text);
    Status performSearchWithText(const std::string& text);
    // The search button: a server search first, then the keyword becomes the search.
    void startOnlineSearchWithKeyword(const std::string& keyword, Finished done = nullptr);
    Status cancelSearch() { return performSearchWithText(""); }
    // Ending the editing with an empty field clears the search without refreshing.
    void searchEditingEnded(const std::string& text);
    bool isRefreshing() const { return refreshing_; }

    // ---- actions menu
    std::vector<MenuEntry> actionsMenu() const;
    Status chooseMenuEntry(MenuAction action);
    Status markAllDisplayedFilesAsRead();
    Status initSortIDs();
    // Drags the file at row `from` to row `to` (0-based) on a shelf with hand order.
    Status moveRow(std::size_t from, std::size_t to);

    // ---- sources
    void didSelectCategory(const FileCategory& category, bool shouldDismiss, bool fetchRemote,
                           Finished done = nullptr);
    Status didSelectFolder(const std::optional<FavoriteFolder>& folder);
    Status didSelectLocation(const ShelfLocation& location);
    Status didScanQRCode(const QRCode& qrcode);
    // Region entries: only with "AUTO_SELECT_LOCATION"; the location made is selectedLocation.
    Status didEnterBeacon(const Beacon& beacon);
    Status didEnterCustomer(const CustomerLocation& customer);
    const std::optional<ShelfLocation>& selectedLocation() const { return selectedLocation_; }
    const std::optional<FileCategory>& currentCategory() const { return currentCategory_; }

    // ---- reloads
    // The refresh button and pull to refresh.
    void refresh(Finished done = nullptr);
    void reloadShelf(Finished done = nullptr);
    void reloadHighlights(Finished done = nullptr);
    bool isLoading() const { return loading_; }
    bool reloadFlag() const { return reloadFlag_; }
    // The screen is about to show / has gone; `done` once a reload it started has ended.
    void viewWillAppear(Finished done = nullptr);
    void viewWillDisappear();

    // ---- opening
    void openFileAt(std::size_t row, Opened done);

    static constexpr std::chrono::seconds kReloadInterval{1800};
    static constexpr const char* kFavoriteSyncCompletedEvent = "FavoriteSyncCompletedEvent";
    // The warnings: key and English default.
    static constexpr const char* kNoConnectionKey = "NO_CONNECTION";
    static constexpr const char* kNoConnectionText =
        "The connection to the server could not be established.";
    static constexpr const char* kEmptyCategoryKey = "EMPTY_CATEGORY";
    static constexpr const char* kEmptyCategoryText = "There are no files in this category.";

  private:
    ShelfViewController(int shelfType, ShelfDatabaseFilter filter, StoreContext& context,
                        Services services);
    ShelfScope scope() const;
    Status copyPositions(const ShelfScope& scope);
    Status applyCategory(const FileCategory& category);
    void warn(const char* key, const char* text);
    Status applyLocation(const ShelfLocation& location);
    void reloadCategoriesOnly(Finished done);
    void reloadFailed(const Error& error, bool afterCategories, int questionsAsked, Finished done);
    void reloadHighlightsAttempt(int questionsAsked, Finished done);
    void armReloadTimer();
    Result<bool> storeHasFiles();
    Result<bool> storeHasCategories();
    std::weak_ptr<ShelfViewController> weak() { return weak_from_this(); }

    int shelfType_ = 0;
    ShelfDatabaseFilter filter_;
    StoreContext& context_;
    Services services_;
    std::string title_;
    std::unique_ptr<ShelfResultList> results_;
    std::optional<FileCategory> currentCategory_;
    std::optional<ShelfLocation> selectedLocation_;
    bool readOnly_ = false;
    bool refreshing_ = false;
    bool loading_ = false;
    bool reloadFlag_ = true;
    Timer reloadTimer_;
    std::optional<NotificationCenter::Token> favoriteToken_;
    Done onChange_;
};

}  // namespace pagewell
