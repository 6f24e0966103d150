#pragma once
// Which of the per-user file states a shelf shows, in which order, under which title, and
// whether the user may reorder it by hand. A small value: one per shelf screen, replaced whole
// when the user picks another source; only the search text and the sort choice change on it.
//
// The condition is SQL over "s" (FileState) joined to "f" (its File):
//   highlights      the user's, highlight set, inside the highlight window
//   category        the user's, the file is in the category
//   favourites      the user's favourites; a folder: those with a live relation to it
//   beacon, customer, QR code
//                   the user's files linked to it; none given: nothing
// then, for every source but all files: only local copies when the server cannot be reached,
// the file in the current locale, inside the publication window. A window end that is empty
// leaves that side open. Files the server no longer lists for the user never show. Without a
// current locale nothing shows.
//
// A search replaces the source: the user's files in the locale whose title contains the whole
// text or whose metatags contain any of its words (split at " ,;"), case and accents ignored,
// matched literally ("%", "_", "\" and quotes are plain characters); a text longer than
// kMaxSearchBytes matches nothing.
//
// Threading: plain data; the sort operations write the shared user defaults.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/ShelfPredicate.h"
#include "platform/Clock.h"
#include "store/Beacon.h"
#include "store/CustomerLocation.h"
#include "store/FavoriteFolder.h"
#include "store/FileCategory.h"
#include "store/QRCode.h"

namespace pagewell {

enum class ShelfFilterType : std::int32_t {
    AllFiles = 0,
    HighlightFiles = 1,
    Category = 2,
    Favorites = 3,
    FavoriteFolder = 4,
    Beacon = 5,
    Customer = 6,
    QRCode = 7,
};

enum class ShelfSortKey { ByTitle, ByLastModified, ByServerSetting, ByManualChoice };

// Who looks, where and when: the facts the condition depends on besides the filter.
struct ShelfScope {
    std::optional<std::int64_t> userKey;
    std::optional<std::int64_t> localeKey;
    SystemTime now;
    bool reachable = true;

    // The signed-in user, the chosen locale, the shared clock, and whether the server can be
    // reached (not in offline mode).
    static ShelfScope current();
};

class ShelfDatabaseFilter {
  public:
    explicit ShelfDatabaseFilter(ShelfFilterType type) : filterType_(type) {}

    static ShelfDatabaseFilter filterForAllFiles();
    static ShelfDatabaseFilter filterForHighlightFiles();
    static ShelfDatabaseFilter filterForCategory(const FileCategory& category);
    static ShelfDatabaseFilter filterForFavorites();
    static ShelfDatabaseFilter filterForFavoriteFolder(const FavoriteFolder& folder);
    static ShelfDatabaseFilter filterForBeacon(const std::optional<Beacon>& beacon);
    static ShelfDatabaseFilter filterForCustomer(const std::optional<CustomerLocation>& customer);
    static ShelfDatabaseFilter filterForQRCode(const std::optional<QRCode>& qrcode);

    ShelfFilterType filterType() const { return filterType_; }
    const std::optional<FileCategory>& baseCategory() const { return baseCategory_; }
    const std::optional<FavoriteFolder>& favFolder() const { return favFolder_; }
    const std::optional<Beacon>& beacon() const { return beacon_; }
    const std::optional<CustomerLocation>& customer() const { return customer_; }
    const std::optional<QRCode>& qrcode() const { return qrcode_; }
    const std::optional<std::string>& searchString() const { return searchString_; }
    bool isSearching() const { return searchString_.has_value(); }

    // Stores the search text; none or an empty text ends the search.
    void searchForString(const std::optional<std::string>& text);

    // Each sets the explicit sort and stores 1, 2 or 3 under "SHELF_SORT".
    void sortByTitle();
    void sortByLastModified();
    void sortByServerSetting();
    // Drops the explicit sort; stores nothing.
    void sortByManualChoice();
    const std::optional<ShelfSortKey>& customSortDescriptor() const { return customSort_; }
    void setCustomSortDescriptor(std::optional<ShelfSortKey> key) { customSort_ = key; }

    // The condition; none means every state in the store (all files).
    std::optional<ShelfPredicate> predicate(const ShelfScope& scope) const;
    std::optional<ShelfPredicate> predicate() const { return predicate(ShelfScope::current()); }
    // The sort keys; none means store order.
    std::optional<std::vector<ShelfSortKey>> sortDescriptors() const;
    // "ORDER BY ..." for sortDescriptors (title order by `titleCollation`), ties by row key.
    std::string orderBy(const std::string& titleCollation) const;
    std::optional<std::string> filterTitle() const;
    bool allowsManualSorting() const;

    // The persisted sort choice: 1 title, 2 last modified, 3 server setting; anything else
    // reads as last modified.
    static ShelfSortKey persistedSort();
    static constexpr const char* kSortDefaultsKey = "SHELF_SORT";
    static constexpr std::size_t kMaxSearchBytes = 1000;

  private:
    std::optional<ShelfPredicate> basePredicate(const ShelfScope& scope) const;
    ShelfPredicate searchPredicate(const ShelfScope& scope) const;

    ShelfFilterType filterType_;
    std::optional<FileCategory> baseCategory_;
    std::optional<FavoriteFolder> favFolder_;
    std::optional<Beacon> beacon_;
    std::optional<CustomerLocation> customer_;
    std::optional<QRCode> qrcode_;
    std::optional<std::string> searchString_;
    std::optional<ShelfSortKey> customSort_;
};

}  // namespace pagewell
