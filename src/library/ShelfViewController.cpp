#include "library/ShelfViewController.h"

#include <algorithm>

#include "app/AppSettings.h"
#include "app/LanguageSwitcher.h"
#include "app/SettingKeys.h"
#include "app/SettingsManager.h"
#include "library/ShelfTitleOrder.h"
#include "net/CatalogueRequests.h"
#include "net/InterfaceManager.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "store/Database.h"
#include "sync/SyncManager.h"

namespace pagewell {

namespace {

Error unreachable() {
    return InterfaceManager::unreachableError();
}

void finish(const ShelfViewController::Finished& done, const Status& result = {}) {
    if (done) {
        done(result);
    }
}

template <class... Args>
Result<std::int64_t> integerOf(Database& database, const std::string& sql, const Args&... args) {
    auto statement = database.prepare(sql);
    if (!statement.ok()) {
        return statement.error();
    }
    statement.value()->bindAll(args...);
    auto row = statement.value()->step();
    if (!row.ok()) {
        statement.value()->reset();
        return row.error();
    }
    const std::int64_t value = row.value() ? statement.value()->integer(0) : 0;
    statement.value()->reset();
    return value;
}

// Runs `write` in the context's write transaction; commits when it changed rows, rolls the
// empty transaction back otherwise, so that an idle refresh leaves the store untouched.
Status commitIfChanged(StoreContext& context, const std::function<Result<int>()>& write) {
    if (Status began = context.beginWrite(); !began.ok()) {
        return began;
    }
    auto changed = write();
    if (!changed.ok()) {
        context.rollback();
        return changed.error();
    }
    if (changed.value() == 0 && !context.hasChanges()) {
        context.rollback();
        return {};
    }
    context.noteChanged(FileState::kEntity);
    Status saved = context.save();
    if (!saved.ok()) {
        context.rollback();
    }
    return saved;
}

}  // namespace

ShelfViewController::Services ShelfViewController::Services::standard() {
    Services services;
    auto requests = std::make_shared<CatalogueRequests>();
    services.fetchCategories = [requests](Done done, Failed failed) {
        requests->getCategoriesFromAPI(std::move(done), std::move(failed));
    };
    services.fetchHighlights = [requests](Done done, Failed failed) {
        requests->getHighlightsFromAPI(std::move(done), std::move(failed));
    };
    services.fetchFilesForCategory = [requests](std::int64_t id, Done done, Failed failed) {
        requests->getFilesForCategoryFromAPI(id, std::move(done), std::move(failed));
    };
    services.searchFiles = [requests](const std::string& keyword, Done done, Failed failed) {
        requests->searchFilesWithKeyword(keyword, std::move(done), std::move(failed));
    };
    services.showOfflineModeAlert = [](std::function<void(bool)> completion) {
        InterfaceManager::sharedInstance().showOfflineModeAlert(std::move(completion));
    };
    services.track = [](int type, const std::string& label, const std::string& screen) {
        const auto& hook = SyncManager::sharedInstance().hooks().trackEvent;
        if (hook) {
            hook(type, label, screen);
        }
    };
    services.instantSearchEnabled = [] { return AppSettings::instantSearchResultsEnabled(); };
    services.autoSelectLocation = [] {
        auto value = SettingsManager::sharedInstance().getSettingInGroup(
            settings::kLocationGroup, settings::kAutoSelectLocation);
        return value && value->boolValue(false);
    };
    services.scope = ShelfScope::current;
    return services;
}

std::shared_ptr<ShelfViewController> ShelfViewController::initWithShelfType(int shelfType,
                                                                            StoreContext& context,
                                                                            Services services) {
    switch (shelfType) {
        case 1:
        case 2:
            return std::shared_ptr<ShelfViewController>(
                new ShelfViewController(shelfType, ShelfDatabaseFilter::filterForHighlightFiles(),
                                        context, std::move(services)));
        case 3:
            return std::shared_ptr<ShelfViewController>(
                new ShelfViewController(shelfType, ShelfDatabaseFilter::filterForFavorites(),
                                        context, std::move(services)));
        case 4:
            return std::shared_ptr<ShelfViewController>(new ShelfViewController(
                shelfType, ShelfDatabaseFilter::filterForBeacon(std::nullopt), context,
                std::move(services)));
        default:
            return nullptr;
    }
}

std::shared_ptr<ShelfViewController> ShelfViewController::initWithDatabaseFilter(
    ShelfDatabaseFilter filter, StoreContext& context, Services services) {
    return std::shared_ptr<ShelfViewController>(
        new ShelfViewController(0, std::move(filter), context, std::move(services)));
}

ShelfViewController::ShelfViewController(int shelfType, ShelfDatabaseFilter filter,
                                         StoreContext& context, Services services)
    : shelfType_(shelfType),
      filter_(std::move(filter)),
      context_(context),
      services_(std::move(services)) {}

ShelfViewController::~ShelfViewController() {
    viewWillDisappear();
}

ShelfScope ShelfViewController::scope() const {
    return services_.scope ? services_.scope() : ShelfScope::current();
}

Status ShelfViewController::setDatabaseFilter(ShelfDatabaseFilter filter) {
    filter_ = std::move(filter);
    return updateContentFilter();
}

Status ShelfViewController::updateContentFilter() {
    const ShelfScope now = scope();
    title_ = filter_.filterTitle().value_or("");
    if (!now.reachable) {
        title_ += " (" + LanguageSwitcher::localized("OFFLINE_MODE_TITLE", "Offlinemode") + ")";
    }
    PW_LOG_INFO("Title: {}", title_);
    if (!readOnly_) {
        if (Status copied = copyPositions(now); !copied.ok()) {
            return copied;
        }
    }
    auto services = services_;
    auto list = std::make_unique<ShelfResultList>(context_, filter_, [services] {
        ShelfScope fresh = services.scope ? services.scope() : ShelfScope::current();
        return fresh;
    });
    if (Status fetched = list->performFetch(); !fetched.ok()) {
        return fetched;
    }
    std::weak_ptr<ShelfViewController> self = weak();
    list->setChangeCallback([self] {
        if (auto shelf = self.lock(); shelf && shelf->onChange_) {
            shelf->onChange_();
        }
    });
    results_ = std::move(list);
    return {};
}

Status ShelfViewController::copyPositions(const ShelfScope& scope) {
    if (!scope.localeKey) {
        return {};
    }
    Database& database = context_.database();
    // The search condition calls the folding function, which a fresh connection lacks.
    if (auto installed = ShelfTitleOrder::install(database); !installed.ok()) {
        return installed.error();
    }
    auto localeID = integerOf(database, "SELECT cmsID FROM Locale WHERE pk = ?", *scope.localeKey);
    if (!localeID.ok()) {
        return localeID.error();
    }
    std::optional<std::int64_t> categoryID;
    if (shelfType_ == 2 && currentCategory_) {
        categoryID = currentCategory_->cmsID;
    }
    const std::optional<ShelfPredicate> predicate = filter_.predicate(scope);
    // The file's sorting for (category shown, locale); none when it has none.
    static const std::string kSorting =
        "(SELECT fs.position FROM FileSorting fs WHERE fs.fileID = (SELECT cmsID FROM File WHERE "
        "pk = FileState.file) AND fs.categoryID IS ?1 AND fs.localeID IS ?2 ORDER BY fs.pk LIMIT "
        "1)";
    std::string sql = "UPDATE FileState SET position = " + kSorting +
                      " WHERE FileState.position IS NOT " + kSorting +
                      " AND FileState.pk IN (SELECT s.pk FROM FileState s JOIN File f ON f.pk = "
                      "s.file";
    if (predicate) {
        sql += " WHERE " + predicate->sql;
    }
    sql += ")";
    return commitIfChanged(context_, [&]() -> Result<int> {
        auto statement = database.prepare(sql);
        if (!statement.ok()) {
            return statement.error();
        }
        statement.value()->bind(1, categoryID);
        statement.value()->bind(2, localeID.value());
        if (predicate) {
            predicate->bindTo(*statement.value(), 3);
        }
        if (Status ran = statement.value()->run(); !ran.ok()) {
            return ran.error();
        }
        return database.changes();
    });
}

// ---- search

void ShelfViewController::searchTextChanged(const std::string& text) {
    if (services_.instantSearchEnabled && services_.instantSearchEnabled()) {
        if (Status searched = performSearchWithText(text); !searched.ok()) {
            PW_LOG_ERROR_VALUE(searched.error());
        }
    }
}

Status ShelfViewController::performSearchWithText(const std::string& text) {
    filter_.searchForString(text);
    return updateContentFilter();
}

void ShelfViewController::startOnlineSearchWithKeyword(const std::string& keyword, Finished done) {
    if (keyword.empty()) {
        filter_.searchForString(std::nullopt);
        finish(done, updateContentFilter());
        return;
    }
    refreshing_ = true;
    if (Status refreshed = updateContentFilter(); !refreshed.ok()) {
        PW_LOG_ERROR_VALUE(refreshed.error());
    }
    std::weak_ptr<ShelfViewController> self = weak();
    auto ended = [self, keyword, done](const Status& server) {
        auto shelf = self.lock();
        if (!shelf) {
            return;
        }
        shelf->filter_.searchForString(keyword);
        Status refreshed = shelf->updateContentFilter();
        shelf->refreshing_ = false;
        finish(done, refreshed.ok() ? server : refreshed);
    };
    if (!services_.searchFiles) {
        ended(unreachable());
        return;
    }
    services_.searchFiles(
        keyword, [ended] { ended({}); },
        [ended](const Error& error) {
            PW_LOG_ERROR_VALUE(error);
            ended(error);
        });
}

void ShelfViewController::searchEditingEnded(const std::string& text) {
    if (text.empty()) {
        filter_.searchForString(std::nullopt);
    }
}

// ---- actions menu

std::vector<ShelfViewController::MenuEntry> ShelfViewController::actionsMenu() const {
    auto entry = [](MenuAction action, const char* key, const char* text) {
        return MenuEntry{action, key, LanguageSwitcher::localized(key, text)};
    };
    std::vector<MenuEntry> menu = {
        entry(MenuAction::MarkRead, "MARK_READ", "Mark as read"),
        entry(MenuAction::SortTitle, "SORT_TITLE", "Sort by title"),
        entry(MenuAction::SortDate, "SORT_DATE", "Sort by date"),
        entry(MenuAction::SortServer, "SORT_SERVER", "Sort by server setting"),
    };
    if (filter_.allowsManualSorting()) {
        menu.push_back(entry(MenuAction::SortUser, "SORT_USER", "Sort by user"));
    }
    menu.push_back(entry(MenuAction::Cancel, "CANCEL", "Cancel"));
    return menu;
}

Status ShelfViewController::chooseMenuEntry(MenuAction action) {
    switch (action) {
        case MenuAction::MarkRead:
            return markAllDisplayedFilesAsRead();
        case MenuAction::SortTitle:
            filter_.sortByTitle();
            break;
        case MenuAction::SortDate:
            filter_.sortByLastModified();
            break;
        case MenuAction::SortServer:
            filter_.sortByServerSetting();
            break;
        case MenuAction::SortUser:
            if (!filter_.allowsManualSorting()) {
                return Error::make("VXErrorDomain", -1, "This shelf has no order by hand.");
            }
            filter_.sortByManualChoice();
            break;
        case MenuAction::Cancel:
            return {};
    }
    return updateContentFilter();
}

Status ShelfViewController::markAllDisplayedFilesAsRead() {
    if (readOnly_) {
        return Error::make("VXErrorDomain", -1, "The shelf is read-only.");
    }
    const ShelfScope now = scope();
    const std::optional<ShelfPredicate> predicate = filter_.predicate(now);
    std::string sql =
        "UPDATE FileState SET read = 1 WHERE IFNULL(read, 0) = 0 AND pk IN (SELECT s.pk FROM "
        "FileState s JOIN File f ON f.pk = s.file";
    if (predicate) {
        sql += " WHERE " + predicate->sql;
    }
    sql += ")";
    Database& database = context_.database();
    if (auto installed = ShelfTitleOrder::install(database); !installed.ok()) {
        return installed.error();
    }
    return commitIfChanged(context_, [&]() -> Result<int> {
        auto statement = database.prepare(sql);
        if (!statement.ok()) {
            return statement.error();
        }
        if (predicate) {
            predicate->bindTo(*statement.value());
        }
        if (Status ran = statement.value()->run(); !ran.ok()) {
            return ran.error();
        }
        return database.changes();
    });
}

Status ShelfViewController::initSortIDs() {
    if (readOnly_) {
        return {};
    }
    Database& database = context_.database();
    return commitIfChanged(context_, [&]() -> Result<int> {
        auto states = database.prepare(
            "SELECT pk, sortIdManual FROM FileState ORDER BY sortIdManual ASC, pk ASC");
        if (!states.ok()) {
            return states.error();
        }
        std::vector<std::int64_t> renumber;
        std::int64_t index = 0;
        for (;; ++index) {
            auto row = states.value()->step();
            if (!row.ok()) {
                states.value()->reset();
                return row.error();
            }
            if (!row.value()) {
                break;
            }
            if (states.value()->optionalInteger(1) != index) {
                renumber.push_back(states.value()->integer(0));
                renumber.push_back(index);
            }
        }
        states.value()->reset();
        for (std::size_t i = 0; i < renumber.size(); i += 2) {
            if (Status set = database.run("UPDATE FileState SET sortIdManual = ? WHERE pk = ?",
                                          renumber[i + 1], renumber[i]);
                !set.ok()) {
                return set.error();
            }
        }
        return static_cast<int>(renumber.size() / 2);
    });
}

Status ShelfViewController::moveRow(std::size_t from, std::size_t to) {
    if (!filter_.allowsManualSorting()) {
        return Error::make("VXErrorDomain", -1, "This shelf has no order by hand.");
    }
    if (readOnly_) {
        return Error::make("VXErrorDomain", -1, "The shelf is read-only.");
    }
    if (!results_) {
        if (Status refreshed = updateContentFilter(); !refreshed.ok()) {
            return refreshed;
        }
    }
    const std::vector<std::int64_t> keys = results_->keys();
    if (from >= keys.size() || to >= keys.size()) {
        return Error::make("VXErrorDomain", -1, "No such row.");
    }
    Database& database = context_.database();
    Status written = commitIfChanged(context_, [&]() -> Result<int> {
        // The values the shelf's rows hold, in shelf order.
        std::vector<std::optional<std::int64_t>> held;
        held.reserve(keys.size());
        for (std::int64_t key : keys) {
            auto statement = database.prepare("SELECT sortIdManual FROM FileState WHERE pk = ?");
            if (!statement.ok()) {
                return statement.error();
            }
            statement.value()->bind(1, key);
            auto row = statement.value()->step();
            held.push_back(row.ok() && row.value() ? statement.value()->optionalInteger(0)
                                                   : std::nullopt);
            statement.value()->reset();
        }
        std::vector<std::int64_t> values;
        std::vector<std::int64_t> sorted;
        bool distinct =
            std::all_of(held.begin(), held.end(), [](auto& v) { return v.has_value(); });
        if (distinct) {
            for (const auto& v : held) {
                sorted.push_back(*v);
            }
            std::sort(sorted.begin(), sorted.end());
            distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
        }
        int changed = 0;
        std::vector<std::int64_t> current(keys.size());
        for (std::size_t row = 0; row < keys.size(); ++row) {
            // Tied or missing values cannot be handed round: number the shelf first.
            current[row] = distinct ? *held[row] : static_cast<std::int64_t>(row);
        }
        const std::size_t lo = std::min(from, to);
        const std::size_t hi = std::max(from, to);
        std::vector<std::int64_t> order(keys.begin() + static_cast<std::ptrdiff_t>(lo),
                                        keys.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
        std::vector<std::int64_t> slots(current.begin() + static_cast<std::ptrdiff_t>(lo),
                                        current.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
        std::sort(slots.begin(), slots.end());
        if (from == hi) {
            std::rotate(order.begin(), order.end() - 1, order.end());
        } else {
            std::rotate(order.begin(), order.begin() + 1, order.end());
        }
        std::vector<std::pair<std::int64_t, std::int64_t>> assigned;
        for (std::size_t row = 0; row < keys.size(); ++row) {
            if (row < lo || row > hi) {
                assigned.emplace_back(keys[row], current[row]);
            } else {
                assigned.emplace_back(order[row - lo], slots[row - lo]);
            }
        }
        for (std::size_t row = 0; row < keys.size(); ++row) {
            const auto& [key, value] = assigned[row];
            const std::size_t heldAt =
                static_cast<std::size_t>(std::find(keys.begin(), keys.end(), key) - keys.begin());
            if (held[heldAt] == value) {
                continue;
            }
            if (Status set =
                    database.run("UPDATE FileState SET sortIdManual = ? WHERE pk = ?", value, key);
                !set.ok()) {
                return set.error();
            }
            ++changed;
        }
        return changed;
    });
    if (!written.ok()) {
        return written;
    }
    filter_.sortByManualChoice();
    return updateContentFilter();
}

// ---- sources

void ShelfViewController::warn(const char* key, const char* text) {
    if (services_.showWarning) {
        services_.showWarning(LanguageSwitcher::localized(key, text));
    }
}

Result<bool> ShelfViewController::storeHasFiles() {
    auto count = integerOf(context_.database(), "SELECT EXISTS (SELECT 1 FROM File)");
    if (!count.ok()) {
        return count.error();
    }
    return count.value() != 0;
}

Result<bool> ShelfViewController::storeHasCategories() {
    auto count = integerOf(context_.database(), "SELECT EXISTS (SELECT 1 FROM FileCategory)");
    if (!count.ok()) {
        return count.error();
    }
    return count.value() != 0;
}

Status ShelfViewController::applyCategory(const FileCategory& category) {
    ShelfDatabaseFilter filter = ShelfDatabaseFilter::filterForCategory(category);
    filter.setCustomSortDescriptor(filter_.customSortDescriptor());
    Status applied = setDatabaseFilter(std::move(filter));
    auto anyFile = storeHasFiles();
    auto linked =
        integerOf(context_.database(),
                  "SELECT EXISTS (SELECT 1 FROM File_categories WHERE category = ?)", category.pk);
    if (anyFile.ok() && linked.ok() && (!anyFile.value() || linked.value() == 0)) {
        warn(kEmptyCategoryKey, kEmptyCategoryText);
    }
    return applied;
}

void ShelfViewController::didSelectCategory(const FileCategory& category, bool /*shouldDismiss*/,
                                            bool fetchRemote, Finished done) {
    if (!category.cmsID) {
        finish(done);
        return;
    }
    currentCategory_ = category;
    if (!(scope().reachable && fetchRemote && services_.fetchFilesForCategory)) {
        finish(done, applyCategory(category));
        return;
    }
    loading_ = true;
    std::weak_ptr<ShelfViewController> self = weak();
    services_.fetchFilesForCategory(
        *category.cmsID,
        [self, category, done] {
            auto shelf = self.lock();
            if (!shelf) {
                return;
            }
            shelf->loading_ = false;
            finish(done, shelf->applyCategory(category));
        },
        [self, category, done](const Error& error) {
            auto shelf = self.lock();
            if (!shelf) {
                return;
            }
            PW_LOG_ERROR_VALUE(error);
            auto linked = integerOf(
                shelf->context_.database(),
                "SELECT EXISTS (SELECT 1 FROM File_categories WHERE category = ?)", category.pk);
            if (linked.ok() && linked.value() == 0) {
                shelf->warn(kNoConnectionKey, kNoConnectionText);
            }
            shelf->loading_ = false;
            Status applied = shelf->applyCategory(category);
            finish(done, applied.ok() ? Status(error) : applied);
        });
}

Status ShelfViewController::didSelectFolder(const std::optional<FavoriteFolder>& folder) {
    return setDatabaseFilter(folder ? ShelfDatabaseFilter::filterForFavoriteFolder(*folder)
                                    : ShelfDatabaseFilter::filterForFavorites());
}

Status ShelfViewController::applyLocation(const ShelfLocation& location) {
    if (location.beacon) {
        return setDatabaseFilter(ShelfDatabaseFilter::filterForBeacon(location.beacon));
    }
    if (location.customer) {
        return setDatabaseFilter(ShelfDatabaseFilter::filterForCustomer(location.customer));
    }
    return setDatabaseFilter(ShelfDatabaseFilter::filterForBeacon(std::nullopt));
}

Status ShelfViewController::didSelectLocation(const ShelfLocation& location) {
    return applyLocation(location);
}

Status ShelfViewController::didScanQRCode(const QRCode& qrcode) {
    return setDatabaseFilter(ShelfDatabaseFilter::filterForQRCode(qrcode));
}

Status ShelfViewController::didEnterBeacon(const Beacon& beacon) {
    if (!services_.autoSelectLocation || !services_.autoSelectLocation()) {
        return {};
    }
    ShelfLocation location{beacon, std::nullopt, 0};
    selectedLocation_ = location;
    return applyLocation(location);
}

Status ShelfViewController::didEnterCustomer(const CustomerLocation& customer) {
    if (!services_.autoSelectLocation || !services_.autoSelectLocation()) {
        return {};
    }
    ShelfLocation location{std::nullopt, customer, 0};
    selectedLocation_ = location;
    return applyLocation(location);
}

// ---- reloads

void ShelfViewController::refresh(Finished done) {
    if (scope().reachable || !services_.showOfflineModeAlert) {
        reloadShelf(std::move(done));
        return;
    }
    std::weak_ptr<ShelfViewController> self = weak();
    services_.showOfflineModeAlert([self, done](bool) {
        if (auto shelf = self.lock()) {
            shelf->reloadShelf(done);
        }
    });
}

void ShelfViewController::reloadShelf(Finished done) {
    if (currentCategory_) {
        didSelectCategory(*currentCategory_, true, true, std::move(done));
    } else {
        reloadHighlights(std::move(done));
    }
}

void ShelfViewController::reloadHighlights(Finished done) {
    reloadHighlightsAttempt(0, std::move(done));
}

void ShelfViewController::reloadHighlightsAttempt(int questionsAsked, Finished done) {
    if (!services_.fetchCategories || !services_.fetchHighlights) {
        reloadFailed(unreachable(), true, questionsAsked, std::move(done));
        return;
    }
    loading_ = true;
    std::weak_ptr<ShelfViewController> self = weak();
    services_.fetchCategories(
        [self, questionsAsked, done] {
            auto shelf = self.lock();
            if (!shelf) {
                return;
            }
            shelf->services_.fetchHighlights(
                [self, done] {
                    auto loaded = self.lock();
                    if (!loaded) {
                        return;
                    }
                    loaded->loading_ = false;
                    finish(done, loaded->updateContentFilter());
                },
                [self, questionsAsked, done](const Error& error) {
                    if (auto failed = self.lock()) {
                        failed->reloadFailed(error, false, questionsAsked, done);
                    }
                });
        },
        [self, questionsAsked, done](const Error& error) {
            if (auto shelf = self.lock()) {
                shelf->reloadFailed(error, true, questionsAsked, done);
            }
        });
}

void ShelfViewController::reloadFailed(const Error& error, bool afterCategories, int questionsAsked,
                                       Finished done) {
    PW_LOG_ERROR("Error[{}]: {}", error.code, error.description);
    auto empty = afterCategories ? storeHasCategories() : storeHasFiles();
    const bool storeEmpty = empty.ok() && !empty.value();
    const bool mayAsk =
        services_.maxOfflineQuestions == 0 || questionsAsked < services_.maxOfflineQuestions;
    if (!storeEmpty || !services_.showOfflineModeAlert) {
        loading_ = false;
        Status refreshed = updateContentFilter();
        finish(done, refreshed.ok() ? Status(error) : refreshed);
        return;
    }
    if (!mayAsk) {
        loading_ = false;
        finish(done, Status(error));
        return;
    }
    std::weak_ptr<ShelfViewController> self = weak();
    services_.showOfflineModeAlert([self, error, questionsAsked, done](bool declined) {
        auto shelf = self.lock();
        if (!shelf) {
            return;
        }
        if (declined) {
            // The user wants the server: try again.
            shelf->reloadHighlightsAttempt(questionsAsked + 1, done);
            return;
        }
        shelf->loading_ = false;
        Status refreshed = shelf->updateContentFilter();
        finish(done, refreshed);
    });
}

void ShelfViewController::reloadCategoriesOnly(Finished done) {
    if (!services_.fetchCategories) {
        finish(done, updateContentFilter());
        return;
    }
    std::weak_ptr<ShelfViewController> self = weak();
    services_.fetchCategories(
        [self, done] {
            if (auto shelf = self.lock()) {
                finish(done, shelf->updateContentFilter());
            }
        },
        [self, done](const Error& error) {
            PW_LOG_ERROR("Error while refreshing categories");
            PW_LOG_ERROR("Error[{}]: {}", error.code, error.description);
            if (auto shelf = self.lock()) {
                Status refreshed = shelf->updateContentFilter();
                finish(done, refreshed.ok() ? Status(error) : refreshed);
            }
        });
}

void ShelfViewController::armReloadTimer() {
    std::weak_ptr<ShelfViewController> self = weak();
    reloadTimer_ = Timer::scheduledTimer(
        std::chrono::duration_cast<std::chrono::milliseconds>(kReloadInterval), false, [self] {
            if (auto shelf = self.lock()) {
                shelf->reloadFlag_ = true;
            }
        });
}

void ShelfViewController::viewWillAppear(Finished done) {
    const ShelfScope now = scope();
    if (filter_.allowsManualSorting()) {
        if (Status numbered = initSortIDs(); !numbered.ok()) {
            PW_LOG_ERROR_VALUE(numbered.error());
        }
    }
    if (shelfType_ == 3 && !favoriteToken_) {
        std::weak_ptr<ShelfViewController> self = weak();
        favoriteToken_ = NotificationCenter::shared().addObserver(
            kFavoriteSyncCompletedEvent, [self](const Notification&) {
                MainQueue::shared().post([self] {
                    if (auto shelf = self.lock()) {
                        (void)shelf->updateContentFilter();
                    }
                });
            });
        if (services_.startFavoriteSync) {
            services_.startFavoriteSync();
        }
    }
    if ((shelfType_ == 1 || shelfType_ == 2) && now.localeKey && reloadFlag_ && !readOnly_) {
        reloadFlag_ = false;
        armReloadTimer();
        if (shelfType_ == 1) {
            reloadHighlights(std::move(done));
        } else {
            reloadCategoriesOnly(std::move(done));
        }
        return;
    }
    finish(done, updateContentFilter());
}

void ShelfViewController::viewWillDisappear() {
    if (favoriteToken_) {
        NotificationCenter::shared().removeObserver(*favoriteToken_);
        favoriteToken_.reset();
    }
}

// ---- opening

void ShelfViewController::openFileAt(std::size_t row, Opened done) {
    if (!results_) {
        done(Error::make("VXErrorDomain", -1, "No such row."));
        return;
    }
    auto found = results_->rowAt(row);
    if (!found.ok()) {
        done(found.error());
        return;
    }
    if (!found.value()) {
        done(Error::make("VXErrorDomain", -1, "No such row."));
        return;
    }
    const File& file = found.value()->file;
    if (services_.track) {
        services_.track(3,
                        "ID - " + std::to_string(file.cmsID.value_or(0)) + ", Title - " +
                            file.title.value_or(""),
                        "ShelfView");
    }
    if (!services_.openFile) {
        done(Error::make("VXErrorDomain", -1, "Files cannot be opened here."));
        return;
    }
    services_.openFile(file, std::move(done));
}

}  // namespace pagewell
