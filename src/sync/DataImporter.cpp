#include "sync/DataImporter.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <set>
#include <unordered_set>

#include "platform/Logger.h"
#include "store/CategorySorting.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/FileCategory.h"
#include "store/JsonNumber.h"
#include "store/Locale.h"
#include "store/PersistentStore.h"
#include "sync/FileImporter.h"
#include "sync/ImportJson.h"
#include "sync/ImportQueries.h"
#include "sync/ImportTransaction.h"
#include "sync/LocaleImporter.h"
#include "sync/MassRemovalGuard.h"
#include "sync/SideListImporter.h"
#include "sync/TimestampManager.h"

namespace pagewell {

namespace {

std::mutex sharedMutex;
std::shared_ptr<DataImporter> sharedImporter;  // guarded by sharedMutex

Error importError(std::string description) {
    return Error::make(kAppErrorDomain, -1, std::move(description));
}

// Checks the category list's shape before anything is written: an object whose "items" is an
// array and whose optional "sortings", "delete" and "removed" are arrays.
Status validateCategoryList(const nlohmann::json& json) {
    if (!json.is_object()) {
        std::string message = fmt::format(DataImporter::kNotADictionaryMessage, json.type_name());
        PW_LOG_ERROR("{}", message);
        return importError(message);
    }
    if (!ImportJson::at(json, "items").is_array()) {
        std::string message = fmt::format("Category list without an \"items\" array (<{}>)",
                                          ImportJson::at(json, "items").type_name());
        PW_LOG_ERROR("{}", message);
        return importError(message);
    }
    for (const char* key : {"sortings", "delete", "removed"}) {
        if (ImportJson::has(json, key) && !json.at(key).is_array()) {
            std::string message =
                fmt::format("Category list with \"{}\" that is not an array (<{}>)", key,
                            json.at(key).type_name());
            PW_LOG_ERROR("{}", message);
            return importError(message);
        }
    }
    return {};
}

// The IDs of an array without `self`: a category is never linked to itself, so no walk over
// the tree can loop on one record.
std::vector<std::int64_t> linkIDs(const nlohmann::json& item, const char* key, std::int64_t self) {
    std::vector<std::int64_t> ids = ImportJson::idList(item, key);
    if (std::erase(ids, self) > 0) {
        PW_LOG_WARNING(DataImporter::kSelfLinkMessage, self);
    }
    return ids;
}

Status deleteCategories(StoreContext& context, const std::vector<std::int64_t>& categoryKeys) {
    for (std::int64_t key : categoryKeys) {
        auto category = FileCategory::find(context, key);
        if (!category.ok()) {
            return category.error();
        }
        if (category.value()) {
            if (Status deleted = category.value()->deleteRecord(context); !deleted.ok()) {
                return deleted;
            }
        }
    }
    return {};
}

Result<std::optional<std::int64_t>> localeKeyOf(StoreContext& context,
                                                const std::string& localeID) {
    auto id = ImportJson::textID(nlohmann::json(localeID));
    if (!id) {
        return std::optional<std::int64_t>();
    }
    auto locale = Locale::findWithCmsID(context, *id);
    if (!locale.ok()) {
        return locale.error();
    }
    if (!locale.value()) {
        return std::optional<std::int64_t>();
    }
    return std::optional<std::int64_t>(locale.value()->pk);
}

Status removeCategories(StoreContext& context, const nlohmann::json& json, bool fullAnswer,
                        const std::set<std::int64_t>& itemIDs, std::optional<std::int64_t> user,
                        std::int64_t locale);

// Runs `removals` (deletions of categories, which take the files only they hold with them)
// and holds them back when they take too much of the user's catalogue of the language: the
// category import can add no files, so what the user holds afterwards tells what went.
Status judgedRemovals(StoreContext& context, MassRemovalGuard* guard,
                      std::optional<std::int64_t> user, std::optional<std::int64_t> locale,
                      const std::function<Status()>& removals) {
    if (!guard || !user || !locale) {
        return removals();
    }
    auto before = MassRemovalGuard::filesHeld(context, *user, *locale);
    if (!before.ok()) {
        return before.error();
    }
    if (Status removed = removals(); !removed.ok()) {
        return removed;
    }
    auto after = MassRemovalGuard::filesHeld(context, *user, *locale);
    if (!after.ok()) {
        return after.error();
    }
    const MassRemovalGuard::Removal removal{before.value() - after.value(), before.value()};
    if (!guard->admit(removal)) {
        // The transaction rolls back: the categories, their files and copies stay.
        return MassRemovalGuard::heldBackError(removal);
    }
    return {};
}

Status importCategoryList(StoreContext& context, const nlohmann::json& json,
                          const std::string& localeID, bool fullAnswer, MassRemovalGuard* guard) {
    auto localeKey = localeKeyOf(context, localeID);
    if (!localeKey.ok()) {
        return localeKey.error();
    }
    if (!localeKey.value()) {
        std::string message = fmt::format(DataImporter::kMissingLocaleMessage, localeID);
        PW_LOG_ERROR("{}", message);
        return importError(message);
    }
    const std::int64_t locale = *localeKey.value();
    const std::optional<std::int64_t> user = CurrentSelection::userKey();
    context.noteChanged(FileCategory::kEntity);

    // 1. The categories themselves, so that the links below find described records.
    std::set<std::int64_t> itemIDs;
    for (const auto& item : json.at("items")) {
        auto id = ImportJson::itemID(item);
        if (!id) {
            PW_LOG_WARNING(DataImporter::kSkippedItemMessage,
                           ImportJson::at(item, "id")
                               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            continue;
        }
        itemIDs.insert(*id);
        auto category = FileCategory::fileCategoryWithID(context, *id, locale, user);
        if (!category.ok()) {
            return category.error();
        }
        if (!category.value()) {
            return importError(fmt::format("Category {} could not be made", *id));
        }
        category.value()->setProperties(item);
        if (Status written = category.value()->update(context); !written.ok()) {
            return written;
        }
    }

    // 2. Children and parents; IDs not described yet become placeholders.
    for (const auto& item : json.at("items")) {
        auto id = ImportJson::itemID(item);
        if (!id) {
            continue;
        }
        auto category = FileCategory::findWithID(context, *id, locale);
        if (!category.ok()) {
            return category.error();
        }
        if (!category.value()) {
            continue;
        }
        if (ImportJson::at(item, "child_ids").is_array()) {
            if (Status linked = category.value()->setSubcategoriesWithIDArray(
                    context, linkIDs(item, "child_ids", *id), locale);
                !linked.ok()) {
                return linked;
            }
        }
        if (ImportJson::at(item, "parent_ids").is_array()) {
            if (Status linked = category.value()->setParentcategoriesWithIDArray(
                    context, linkIDs(item, "parent_ids", *id), locale);
                !linked.ok()) {
                return linked;
            }
        }
    }

    // 3. Sortings.
    auto localeRecord = Locale::find(context, locale);
    if (!localeRecord.ok()) {
        return localeRecord.error();
    }
    if (ImportJson::has(json, "sortings")) {
        context.noteChanged(CategorySorting::kEntity);
        for (const auto& sorting : json.at("sortings")) {
            auto categoryID = JsonNumber::integer(sorting, "category_id");
            auto sortingID = JsonNumber::integer(sorting, "id");
            if (!categoryID || !sortingID) {
                PW_LOG_WARNING("Skipping category sorting without id or category_id");
                continue;
            }
            auto category = FileCategory::fileCategoryWithID(context, *categoryID, locale, user);
            if (!category.ok()) {
                return category.error();
            }
            if (!category.value()) {
                continue;
            }
            auto record =
                CategorySorting::sortingWithID(context, *sortingID, category.value()->pk,
                                               JsonNumber::integer(sorting, "parent_category_id"),
                                               JsonNumber::integer(sorting, "locale_id"));
            if (!record.ok()) {
                return record.error();
            }
            if (!record.value()) {
                continue;
            }
            record.value()->position = JsonNumber::integer(sorting, "position");
            if (Status written = record.value()->update(context); !written.ok()) {
                return written;
            }
        }
    }

    // 4. Deletions: a full answer names every category the user keeps; a change answer lists
    // the deleted ones and those no longer visible to the user. 5. Placeholders no answer
    // described. Both judged together by the guard.
    return judgedRemovals(context, guard, user, locale, [&]() -> Status {
        return removeCategories(context, json, fullAnswer, itemIDs, user, locale);
    });
}

Status removeCategories(StoreContext& context, const nlohmann::json& json, bool fullAnswer,
                        const std::set<std::int64_t>& itemIDs, std::optional<std::int64_t> user,
                        std::int64_t locale) {
    if (fullAnswer) {
        if (user) {
            auto held = ImportQueries::keysWithIDs(
                context,
                "SELECT c.pk, c.cmsID FROM FileCategory c JOIN FileCategory_users u "
                "ON u.category = c.pk WHERE c.locale = ? AND u.user = ?",
                locale, *user);
            if (!held.ok()) {
                return held.error();
            }
            std::vector<std::int64_t> gone;
            for (const auto& [key, cmsID] : held.value()) {
                if (!cmsID || itemIDs.count(*cmsID) == 0) {
                    gone.push_back(key);
                }
            }
            if (Status deleted = deleteCategories(context, gone); !deleted.ok()) {
                return deleted;
            }
        }
    } else {
        for (std::int64_t id : ImportJson::idList(json, "delete")) {
            auto category = FileCategory::findWithID(context, id, locale);
            if (!category.ok()) {
                return category.error();
            }
            if (category.value()) {
                if (Status deleted = category.value()->deleteRecord(context); !deleted.ok()) {
                    return deleted;
                }
            }
        }
        if (user) {
            for (std::int64_t id : ImportJson::idList(json, "removed")) {
                auto category = FileCategory::findWithID(context, id, locale);
                if (!category.ok()) {
                    return category.error();
                }
                if (category.value()) {
                    if (Status removed = category.value()->removeUser(context, *user);
                        !removed.ok()) {
                        return removed;
                    }
                }
            }
        }
    }

    auto nameless = ImportQueries::keys(
        context, "SELECT pk FROM FileCategory WHERE locale = ? AND name IS NULL", locale);
    if (!nameless.ok()) {
        return nameless.error();
    }
    return deleteCategories(context, nameless.value());
}

}  // namespace

DataImporter::DataImporter(std::shared_ptr<TimestampManager> timestamps,
                           std::shared_ptr<MassRemovalGuard> guard)
    : timestamps_(std::move(timestamps)), guard_(std::move(guard)) {}

MassRemovalGuard* DataImporter::removalGuard() const {
    return guard_ ? guard_.get() : MassRemovalGuard::shared().get();
}

std::mutex& DataImporter::importerLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<DataImporter> DataImporter::shared() {
    std::lock_guard lock(sharedMutex);
    return sharedImporter;
}

void DataImporter::setShared(std::shared_ptr<DataImporter> importer) {
    std::lock_guard lock(sharedMutex);
    sharedImporter = std::move(importer);
}

std::string DataImporter::categoryListTimestamp() const {
    return timestamps_ ? timestamps_->timestampForCategoryList()
                       : std::string(TimestampManager::kNoTimestamp);
}

Status DataImporter::importCategoriesWithJSON(const nlohmann::json& json,
                                              const std::string& localeID) {
    if (Status valid = validateCategoryList(json); !valid.ok()) {
        return valid;
    }
    const bool fullAnswer = !ImportJson::has(json, "delete") ||
                            categoryListTimestamp() == TimestampManager::kNoTimestamp;
    std::lock_guard lock(importerLock());
    Status imported = ImportTransaction::run([&](StoreContext& context) {
        return importCategoryList(context, json, localeID, fullAnswer, removalGuard());
    });
    if (imported.ok()) {
        PW_LOG_INFO(kImportFinishedMessage);
    }
    return imported;
}

Status DataImporter::importLocalesWithJSON(const nlohmann::json& json) {
    if (!ImportJson::at(json, "items").is_array()) {
        PW_LOG_ERROR(kMissingLocaleItemsMessage);
        return importError(kMissingLocaleItemsMessage);
    }
    auto store = PersistentStore::shared();
    if (!store) {
        return importError("The store is not open.");
    }
    auto context = store->newPrivateContext();
    if (!context.ok()) {
        return context.error();
    }
    // One list for the current user, applied in one transaction (see LocaleImporter).
    auto imported = LocaleImporter::importLocalesWithJSON(*context.value(), json);
    if (!imported.ok()) {
        return imported.error();
    }
    return {};
}

Status DataImporter::insertFilesWithJSON(const nlohmann::json& json, std::int64_t categoryID) {
    return FileImporter(timestamps_.get(), removalGuard()).insertFilesWithJSON(json, categoryID);
}

Status DataImporter::importFilesWithJSON(const nlohmann::json& json) {
    return FileImporter(timestamps_.get()).importFilesWithJSON(json);
}

Status DataImporter::importImprintWithJSON(const nlohmann::json& json) {
    return SideListImporter::importImprintWithJSON(json);
}

Status DataImporter::importBeaconListWithJSON(const nlohmann::json& json) {
    return SideListImporter::importBeaconListWithJSON(json);
}

Status DataImporter::importCustomerListWithJSON(const nlohmann::json& json) {
    return SideListImporter::importCustomerListWithJSON(json);
}

Status DataImporter::importCustomerGroupListWithJSON(const nlohmann::json& json) {
    return SideListImporter::importCustomerGroupListWithJSON(json);
}

Status DataImporter::importQRCodesListWithJSON(const nlohmann::json& json) {
    return SideListImporter::importQRCodesListWithJSON(json);
}

Status DataImporter::importFavoriteFoldersWithJSON(const nlohmann::json& json) {
    return SideListImporter::importFavoriteFoldersWithJSON(json);
}

Status DataImporter::importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json& json) {
    return SideListImporter::importFavoriteFoldersFileRelationsWithJSON(json);
}

Status DataImporter::deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs) {
    return ImportTransaction::run([&](StoreContext& context) -> Status {
        context.noteChanged(FileCategory::kEntity);
        return judgedRemovals(
            context, removalGuard(), CurrentSelection::userKey(), CurrentSelection::localeKey(),
            [&]() -> Status {
                for (std::int64_t id : categoryIDs) {
                    auto keys = ImportQueries::keys(
                        context, "SELECT pk FROM FileCategory WHERE cmsID = ?", id);
                    if (!keys.ok()) {
                        return keys.error();
                    }
                    if (Status deleted = deleteCategories(context, keys.value()); !deleted.ok()) {
                        return deleted;
                    }
                }
                return {};
            });
    });
}

Status DataImporter::deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs,
                                             const std::string& localeID) {
    return ImportTransaction::run([&](StoreContext& context) -> Status {
        auto locale = localeKeyOf(context, localeID);
        if (!locale.ok()) {
            return locale.error();
        }
        if (!locale.value()) {
            return {};
        }
        context.noteChanged(FileCategory::kEntity);
        return judgedRemovals(
            context, removalGuard(), CurrentSelection::userKey(), *locale.value(), [&]() -> Status {
                for (std::int64_t id : categoryIDs) {
                    auto category = FileCategory::findWithID(context, id, *locale.value());
                    if (!category.ok()) {
                        return category.error();
                    }
                    if (category.value()) {
                        if (Status deleted = category.value()->deleteRecord(context);
                            !deleted.ok()) {
                            return deleted;
                        }
                    }
                }
                return {};
            });
    });
}

Result<std::vector<std::int64_t>> DataImporter::categoryIDsOfLocale(const std::string& localeID) {
    auto store = PersistentStore::shared();
    if (!store) {
        return importError("No store is open.");
    }
    auto context = store->newPrivateContext();
    if (!context.ok()) {
        return context.error();
    }
    auto id = ImportJson::textID(nlohmann::json(localeID));
    if (!id) {
        return std::vector<std::int64_t>();
    }
    // Only the signed-in user's categories: another user's categories of the same language
    // share the store, and the server answers their file requests for this user with 404.
    if (std::optional<std::int64_t> user = CurrentSelection::userKey()) {
        return ImportQueries::keys(
            *context.value(),
            "SELECT c.cmsID FROM FileCategory c JOIN Locale l ON c.locale = l.pk "
            "JOIN FileCategory_users u ON u.category = c.pk "
            "WHERE l.cmsID = ? AND u.user = ? AND c.cmsID IS NOT NULL ORDER BY c.pk",
            *id, *user);
    }
    return ImportQueries::keys(
        *context.value(),
        "SELECT c.cmsID FROM FileCategory c JOIN Locale l ON c.locale = l.pk "
        "WHERE l.cmsID = ? AND c.cmsID IS NOT NULL ORDER BY c.pk",
        *id);
}

Status DataImporter::removeFilesOfProximityEntry(ProximityKind kind, std::int64_t entryID) {
    const char* sql = nullptr;
    switch (kind) {
        case ProximityKind::Beacon:
            sql =
                "DELETE FROM File_beacons WHERE beacon IN (SELECT pk FROM Beacon WHERE cmsID = ?)";
            break;
        case ProximityKind::Customer:
            sql =
                "DELETE FROM File_customers WHERE customer IN "
                "(SELECT pk FROM CustomerLocation WHERE cmsID = ?)";
            break;
        case ProximityKind::CustomerGroup:
            sql =
                "DELETE FROM File_customerGroups WHERE customerGroup IN "
                "(SELECT pk FROM CustomerLocationGroup WHERE cmsID = ?)";
            break;
        case ProximityKind::QRCode:
            sql =
                "DELETE FROM File_qrcodes WHERE qrcode IN (SELECT pk FROM QRCode WHERE cmsID = ?)";
            break;
    }
    return ImportTransaction::run([&](StoreContext& context) -> Status {
        context.noteChanged("File");
        return context.database().run(sql, entryID);
    });
}

Status DataImporter::saveStore() {
    auto store = PersistentStore::shared();
    if (!store) {
        return importError("No store is open.");
    }
    return store->mainContext().save();
}

}  // namespace pagewell
