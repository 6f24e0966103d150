#include "library/ShelfDatabaseFilter.h"

#include "app/LanguageSwitcher.h"
#include "library/TitleKeyword.h"
#include "net/InterfaceManager.h"
#include "platform/UserDefaults.h"
#include "store/CurrentSelection.h"

namespace pagewell {

namespace {

double seconds(SystemTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// Inside [start, end], an empty end leaving that side open.
std::string windowCondition(const char* start, const char* end) {
    return std::string("(f.") + start + " IS NULL OR f." + start + " <= ?) AND (f." + end +
           " IS NULL OR f." + end + " >= ?)";
}

void addWindow(ShelfPredicate& predicate, const char* start, const char* end, SystemTime now) {
    predicate.sql += " AND " + windowCondition(start, end);
    predicate.arguments.emplace_back(seconds(now));
    predicate.arguments.emplace_back(seconds(now));
}

// The user's states, none the server took away from the user.
ShelfPredicate ofUser(std::int64_t userKey) {
    return {"s.user = ? AND IFNULL(s.removedByServer, 0) = 0", {userKey}};
}

void addLinked(ShelfPredicate& predicate, const char* table, const char* column, std::int64_t key) {
    predicate.sql += std::string(" AND EXISTS (SELECT 1 FROM ") + table +
                     " l WHERE l.file = f.pk AND l." + column + " = ?)";
    predicate.arguments.emplace_back(key);
}

}  // namespace

ShelfScope ShelfScope::current() {
    ShelfScope scope;
    scope.userKey = CurrentSelection::userKey();
    scope.localeKey = CurrentSelection::localeKey();
    scope.now = Clock::shared().now();
    const InterfaceManager& interface = InterfaceManager::sharedInstance();
    scope.reachable = interface.isReachable() && !interface.isInOfflineMode();
    return scope;
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForAllFiles() {
    return ShelfDatabaseFilter(ShelfFilterType::AllFiles);
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForHighlightFiles() {
    return ShelfDatabaseFilter(ShelfFilterType::HighlightFiles);
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForCategory(const FileCategory& category) {
    ShelfDatabaseFilter filter(ShelfFilterType::Category);
    filter.baseCategory_ = category;
    return filter;
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForFavorites() {
    return ShelfDatabaseFilter(ShelfFilterType::Favorites);
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForFavoriteFolder(const FavoriteFolder& folder) {
    ShelfDatabaseFilter filter(ShelfFilterType::FavoriteFolder);
    filter.favFolder_ = folder;
    return filter;
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForBeacon(const std::optional<Beacon>& beacon) {
    ShelfDatabaseFilter filter(ShelfFilterType::Beacon);
    filter.beacon_ = beacon;
    return filter;
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForCustomer(
    const std::optional<CustomerLocation>& customer) {
    ShelfDatabaseFilter filter(ShelfFilterType::Customer);
    filter.customer_ = customer;
    return filter;
}

ShelfDatabaseFilter ShelfDatabaseFilter::filterForQRCode(const std::optional<QRCode>& qrcode) {
    ShelfDatabaseFilter filter(ShelfFilterType::QRCode);
    filter.qrcode_ = qrcode;
    return filter;
}

void ShelfDatabaseFilter::searchForString(const std::optional<std::string>& text) {
    if (text && !text->empty()) {
        searchString_ = *text;
    } else {
        searchString_.reset();
    }
}

void ShelfDatabaseFilter::sortByTitle() {
    customSort_ = ShelfSortKey::ByTitle;
    (void)UserDefaults::shared().set(kSortDefaultsKey, std::int64_t{1});
}

void ShelfDatabaseFilter::sortByLastModified() {
    customSort_ = ShelfSortKey::ByLastModified;
    (void)UserDefaults::shared().set(kSortDefaultsKey, std::int64_t{2});
}

void ShelfDatabaseFilter::sortByServerSetting() {
    customSort_ = ShelfSortKey::ByServerSetting;
    (void)UserDefaults::shared().set(kSortDefaultsKey, std::int64_t{3});
}

void ShelfDatabaseFilter::sortByManualChoice() {
    customSort_.reset();
}

ShelfSortKey ShelfDatabaseFilter::persistedSort() {
    switch (UserDefaults::shared().integerValue(kSortDefaultsKey, 0)) {
        case 1:
            return ShelfSortKey::ByTitle;
        case 3:
            return ShelfSortKey::ByServerSetting;
        default:
            return ShelfSortKey::ByLastModified;
    }
}

std::optional<ShelfPredicate> ShelfDatabaseFilter::predicate(const ShelfScope& scope) const {
    if (!scope.localeKey) {
        // Nothing of any user's catalogue before a content language is chosen.
        return ShelfPredicate::falsePredicate();
    }
    return searchString_ ? std::optional<ShelfPredicate>(searchPredicate(scope))
                         : basePredicate(scope);
}

std::optional<ShelfPredicate> ShelfDatabaseFilter::basePredicate(const ShelfScope& scope) const {
    if (filterType_ == ShelfFilterType::AllFiles) {
        return std::nullopt;
    }
    if (!scope.userKey) {
        return ShelfPredicate::falsePredicate();
    }
    ShelfPredicate predicate = ofUser(*scope.userKey);
    switch (filterType_) {
        case ShelfFilterType::AllFiles:
            break;
        case ShelfFilterType::HighlightFiles:
            predicate.sql += " AND IFNULL(f.highlight, 0) = 1";
            addWindow(predicate, "highlightStart", "highlightEnd", scope.now);
            break;
        case ShelfFilterType::Category:
            if (!baseCategory_) {
                return ShelfPredicate::falsePredicate();
            }
            addLinked(predicate, "File_categories", "category", baseCategory_->pk);
            break;
        case ShelfFilterType::Favorites:
            predicate.sql += " AND IFNULL(s.favorite, 0) = 1";
            break;
        case ShelfFilterType::FavoriteFolder:
            if (!favFolder_) {
                return ShelfPredicate::falsePredicate();
            }
            // The relation to this folder must be live; the state's relations to other
            // folders do not matter.
            predicate.sql +=
                " AND IFNULL(s.favorite, 0) = 1 AND EXISTS (SELECT 1 FROM FavoriteFolderRelation "
                "r WHERE r.fileState = s.pk AND r.folder = ? AND IFNULL(r.pretendDeletion, 0) = 0)";
            predicate.arguments.emplace_back(favFolder_->pk);
            break;
        case ShelfFilterType::Beacon:
            if (!beacon_) {
                return ShelfPredicate::falsePredicate();
            }
            addLinked(predicate, "File_beacons", "beacon", beacon_->pk);
            break;
        case ShelfFilterType::Customer:
            if (!customer_) {
                return ShelfPredicate::falsePredicate();
            }
            addLinked(predicate, "File_customers", "customer", customer_->pk);
            break;
        case ShelfFilterType::QRCode:
            if (!qrcode_) {
                return ShelfPredicate::falsePredicate();
            }
            addLinked(predicate, "File_qrcodes", "qrcode", qrcode_->pk);
            break;
    }
    if (!scope.reachable) {
        predicate.sql += " AND (IFNULL(f.downloaded, 0) = 1 OR IFNULL(f.updateAvailable, 0) = 1)";
    }
    addLinked(predicate, "File_locales", "locale", *scope.localeKey);
    addWindow(predicate, "publishStart", "publishEnd", scope.now);
    return predicate;
}

ShelfPredicate ShelfDatabaseFilter::searchPredicate(const ShelfScope& scope) const {
    const std::string& text = *searchString_;
    const std::string whole = TitleKeyword::folded(text);
    if (!scope.userKey || text.size() > kMaxSearchBytes || whole.empty()) {
        return ShelfPredicate::falsePredicate();
    }
    // instr() over folded text: a literal substring test, no pattern characters at all.
    ShelfPredicate predicate{"(instr(shelf_fold(f.title), ?) > 0", {whole}};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(" ,;", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string piece = TitleKeyword::folded(text.substr(start, end - start));
        if (!piece.empty()) {
            predicate.sql += " OR instr(shelf_fold(f.metatags), ?) > 0";
            predicate.arguments.emplace_back(piece);
        }
        start = end + 1;
    }
    predicate.sql += ")";
    ShelfPredicate user = ofUser(*scope.userKey);
    predicate.sql += " AND " + user.sql;
    predicate.arguments.insert(predicate.arguments.end(), user.arguments.begin(),
                               user.arguments.end());
    addLinked(predicate, "File_locales", "locale", *scope.localeKey);
    return predicate;
}

std::optional<std::vector<ShelfSortKey>> ShelfDatabaseFilter::sortDescriptors() const {
    if (searchString_) {
        return std::vector<ShelfSortKey>{ShelfSortKey::ByTitle};
    }
    if (customSort_) {
        return std::vector<ShelfSortKey>{*customSort_};
    }
    switch (filterType_) {
        case ShelfFilterType::AllFiles:
        case ShelfFilterType::HighlightFiles:
        case ShelfFilterType::Category:
            return std::vector<ShelfSortKey>{persistedSort()};
        case ShelfFilterType::Favorites:
        case ShelfFilterType::FavoriteFolder:
            return std::vector<ShelfSortKey>{ShelfSortKey::ByManualChoice,
                                             ShelfSortKey::ByLastModified};
        case ShelfFilterType::Beacon:
        case ShelfFilterType::Customer:
        case ShelfFilterType::QRCode:
            break;
    }
    return std::nullopt;
}

std::string ShelfDatabaseFilter::orderBy(const std::string& titleCollation) const {
    std::string clause = " ORDER BY ";
    if (auto keys = sortDescriptors()) {
        for (ShelfSortKey key : *keys) {
            switch (key) {
                case ShelfSortKey::ByTitle:
                    clause += "f.title COLLATE " + titleCollation + " ASC, ";
                    break;
                case ShelfSortKey::ByLastModified:
                    clause += "f.modified DESC, ";
                    break;
                case ShelfSortKey::ByServerSetting:
                    clause += "f.position ASC, ";
                    break;
                case ShelfSortKey::ByManualChoice:
                    clause += "s.sortIdManual ASC, ";
                    break;
            }
        }
    }
    return clause + "s.pk ASC";
}

std::optional<std::string> ShelfDatabaseFilter::filterTitle() const {
    if (searchString_) {
        return LanguageSwitcher::localized("SEARCH", "Search");
    }
    switch (filterType_) {
        case ShelfFilterType::AllFiles:
            return LanguageSwitcher::localized("ALL", "All");
        case ShelfFilterType::HighlightFiles:
            return LanguageSwitcher::localized("HIGHLIGHTS", "Highlights");
        case ShelfFilterType::Favorites:
            return LanguageSwitcher::localized("FAVORITES", "Favorites");
        case ShelfFilterType::Category:
            if (baseCategory_ && baseCategory_->name) {
                return baseCategory_->name;
            }
            return LanguageSwitcher::localized("CATEGORIES", "Categories");
        case ShelfFilterType::FavoriteFolder:
            return favFolder_ ? favFolder_->title : std::nullopt;
        case ShelfFilterType::Beacon:
            return beacon_ ? beacon_->name : std::nullopt;
        case ShelfFilterType::Customer:
            return customer_ ? customer_->name : std::nullopt;
        case ShelfFilterType::QRCode:
            return qrcode_ ? qrcode_->name : std::nullopt;
    }
    return std::nullopt;
}

bool ShelfDatabaseFilter::allowsManualSorting() const {
    return filterType_ == ShelfFilterType::Favorites ||
           filterType_ == ShelfFilterType::FavoriteFolder;
}

}  // namespace pagewell
