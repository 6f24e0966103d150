#include "store/FileCategory.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <mutex>
#include <string>

#include "platform/Logger.h"
#include "store/CurrentSelection.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/File.h"
#include "store/FindOrCreateBatch.h"
#include "store/JsonNumber.h"
#include "store/PersistentStore.h"
#include "store/ServerDate.h"
#include "store/StoreHooks.h"

namespace pagewell {

namespace {

#define PW_CATEGORY_COLUMNS "c.pk, c.cmsID, c.localeID, c.name, c.modified, c.position, c.locale "

FileCategory readCategory(Statement& row) {
    FileCategory category;
    category.pk = row.integer(0);
    category.cmsID = row.optionalInteger(1);
    category.localeID = row.optionalInteger(2);
    category.name = row.optionalText(3);
    category.modified = row.optionalTime(4);
    category.position = row.optionalInteger(5);
    category.locale = row.optionalInteger(6);
    return category;
}

struct Related {
    std::int64_t pk = 0;
    std::optional<std::int64_t> cmsID;
};

// The two directions of the parent/child join table, as fixed SQL texts.
struct Direction {
    const char* relatedInLocale;  // (own pk, locale) -> related pk and cmsID
    const char* remove;           // (own pk, related pk)
    const char* add;              // (own pk, related pk)
};

constexpr Direction kChildren = {
    "SELECT c.pk, c.cmsID FROM FileCategory_subcategories r JOIN FileCategory c ON "
    "c.pk = r.child WHERE r.parent = ? AND c.locale = ?",
    "DELETE FROM FileCategory_subcategories WHERE parent = ? AND child = ?",
    "INSERT OR IGNORE INTO FileCategory_subcategories (parent, child) VALUES (?, ?)",
};
constexpr Direction kParents = {
    "SELECT c.pk, c.cmsID FROM FileCategory_subcategories r JOIN FileCategory c ON "
    "c.pk = r.parent WHERE r.child = ? AND c.locale = ?",
    "DELETE FROM FileCategory_subcategories WHERE child = ? AND parent = ?",
    "INSERT OR IGNORE INTO FileCategory_subcategories (child, parent) VALUES (?, ?)",
};

Status setRelated(StoreContext& context, std::int64_t ownKey, const Direction& direction,
                  const std::vector<std::int64_t>& ids, std::int64_t localeKey) {
    auto related = EntityRows::all<Related>(
        context, direction.relatedInLocale,
        [](Statement& row) {
            return Related{row.integer(0), row.optionalInteger(1)};
        },
        ownKey, localeKey);
    if (!related.ok()) {
        return related.error();
    }
    // NOT (cmsID IN %@) AND locale = %@: a related category without cmsID is not matched.
    for (const Related& entry : related.value()) {
        if (entry.cmsID && std::find(ids.begin(), ids.end(), *entry.cmsID) == ids.end()) {
            if (Status removed = EntityRows::write(context, FileCategory::kEntity, direction.remove,
                                                   ownKey, entry.pk);
                !removed.ok()) {
                return removed;
            }
        }
    }
    for (std::int64_t id : ids) {
        auto found = FileCategory::fileCategoryWithID(context, id, localeKey);
        if (!found.ok()) {
            return found.error();
        }
        if (!found.value()) {
            continue;
        }
        if (Status added = EntityRows::write(context, FileCategory::kEntity, direction.add, ownKey,
                                             found.value()->pk);
            !added.ok()) {
            return added;
        }
    }
    return {};
}

std::optional<std::vector<std::int64_t>> idsFromJson(const nlohmann::json& ids) {
    if (!ids.is_array()) {
        return std::nullopt;
    }
    std::vector<std::int64_t> numbers;
    for (const nlohmann::json& id : ids) {
        if (std::optional<std::int64_t> number = JsonNumber::integer(id)) {
            numbers.push_back(*number);
        }
    }
    return numbers;
}

}  // namespace

Result<std::optional<FileCategory>> FileCategory::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<FileCategory>(
        context, "SELECT " PW_CATEGORY_COLUMNS "FROM FileCategory c WHERE c.pk = ?", readCategory,
        pk);
}

Result<std::optional<FileCategory>> FileCategory::findWithID(StoreContext& context,
                                                             std::int64_t cmsID,
                                                             std::int64_t localeKey) {
    return EntityRows::first<FileCategory>(
        context,
        "SELECT " PW_CATEGORY_COLUMNS
        "FROM FileCategory c WHERE c.cmsID = ? AND c.locale = ? ORDER BY c.pk LIMIT 1",
        readCategory, cmsID, localeKey);
}

Result<std::optional<FileCategory>> FileCategory::fileCategoryWithID(
    StoreContext& context, std::optional<std::int64_t> id, std::optional<std::int64_t> localeKey,
    std::optional<std::int64_t> userKey) {
    if (!id) {
        PW_LOG_ERROR("FileCategory needs a valid ID");
        return std::optional<FileCategory>();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        // Without a locale the identity (cmsID, locale) cannot hold.
        PW_LOG_ERROR("FileCategory {} needs a locale", *id);
        return std::optional<FileCategory>();
    }
    // Writer lock, then entity lock: the order every find-or-create keeps.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::FileCategory));
    auto found = findWithID(context, *id, *localeKey);
    if (!found.ok()) {
        return found.error();
    }
    FileCategory category;
    if (found.value()) {
        category = *found.value();
    } else {
        auto localeID = EntityRows::first<std::int64_t>(
            context, "SELECT cmsID FROM Locale WHERE pk = ? AND cmsID IS NOT NULL",
            [](Statement& row) { return row.integer(0); }, *localeKey);
        if (!localeID.ok()) {
            return localeID.error();
        }
        category.cmsID = id;
        category.locale = localeKey;
        category.localeID = localeID.value();
        if (Status created = category.update(context); !created.ok()) {
            return created.error();
        }
    }
    if (userKey) {
        if (Status added = category.addUser(context, *userKey); !added.ok()) {
            return added.error();
        }
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return std::optional<FileCategory>(category);
}

Result<std::optional<FileCategory>> FileCategory::fileCategoryWithID(
    std::optional<std::int64_t> id, std::optional<std::int64_t> localeKey,
    std::optional<std::int64_t> userKey) {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    if (!store) {
        return Error::make(PersistentStore::kErrorDomain, 11, "the store is not open");
    }
    return fileCategoryWithID(store->mainContext(), id, localeKey, userKey);
}

Status FileCategory::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO FileCategory (cmsID, localeID, name, modified, position, locale) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            cmsID, localeID, name, modified, position, locale);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE FileCategory SET cmsID = ?, localeID = ?, name = ?, "
                             "modified = ?, position = ?, locale = ? WHERE pk = ?",
                             cmsID, localeID, name, modified, position, locale, pk);
}

Status FileCategory::prepareForDeletion(StoreContext& context) {
    if (cmsID) {
        // Forgotten only when the deletion is kept: a rolled-back import keeps the category
        // and with it the timestamp its records match.
        context.afterCommit([id = std::to_string(*cmsID)] {
            StoreHooks::categoryTimestamps()->deleteTimestampForCategoryWithID(id);
        });
    }
    // Files whose `categories` holds exactly one entry: this category.
    auto onlyHere = EntityRows::keys(
        context,
        "SELECT m.file FROM File_categories m WHERE m.category = ? AND "
        "(SELECT count(*) FROM File_categories o WHERE o.file = m.file) = 1 ORDER BY m.file",
        pk);
    if (!onlyHere.ok()) {
        return onlyHere.error();
    }
    for (std::int64_t fileKey : onlyHere.value()) {
        auto file = File::find(context, fileKey);
        if (!file.ok()) {
            return file.error();
        }
        if (file.value()) {
            if (Status deleted = file.value()->deleteRecord(context); !deleted.ok()) {
                return deleted;
            }
        }
    }
    return {};
}

Status FileCategory::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    if (Status prepared = prepareForDeletion(context); !prepared.ok()) {
        return prepared;
    }
    return EntityRows::write(context, kEntity, "DELETE FROM FileCategory WHERE pk = ?", pk);
}

void FileCategory::setProperties(const nlohmann::json& properties) {
    name = JsonNumber::text(properties, "title");
    modified = ServerDate::parse(properties, "time_modified");
}

Status FileCategory::setSubcategoriesWithIDArray(StoreContext& context, const nlohmann::json& ids,
                                                 std::optional<std::int64_t> localeKey) {
    std::optional<std::vector<std::int64_t>> numbers = idsFromJson(ids);
    if (!numbers) {
        return {};
    }
    return setSubcategoriesWithIDArray(context, *numbers, localeKey);
}

Status FileCategory::setSubcategoriesWithIDArray(StoreContext& context,
                                                 const std::vector<std::int64_t>& ids,
                                                 std::optional<std::int64_t> localeKey) {
    if (!localeKey) {
        return {};
    }
    return setRelated(context, pk, kChildren, ids, *localeKey);
}

Status FileCategory::setParentcategoriesWithIDArray(StoreContext& context,
                                                    const nlohmann::json& ids,
                                                    std::optional<std::int64_t> localeKey) {
    std::optional<std::vector<std::int64_t>> numbers = idsFromJson(ids);
    if (!numbers) {
        return {};
    }
    return setParentcategoriesWithIDArray(context, *numbers, localeKey);
}

Status FileCategory::setParentcategoriesWithIDArray(StoreContext& context,
                                                    const std::vector<std::int64_t>& ids,
                                                    std::optional<std::int64_t> localeKey) {
    if (!localeKey) {
        return {};
    }
    return setRelated(context, pk, kParents, ids, *localeKey);
}

Result<std::int64_t> FileCategory::usedDiskSpace(StoreContext& context) const {
    auto keys = fileKeys(context);
    if (!keys.ok()) {
        return keys.error();
    }
    std::int64_t total = 0;
    for (std::int64_t key : keys.value()) {
        auto file = File::find(context, key);
        if (!file.ok()) {
            return file.error();
        }
        if (!file.value()) {
            continue;
        }
        auto space = file.value()->usedDiskSpace(context);
        if (!space.ok()) {
            return space.error();
        }
        total += space.value();
    }
    return total;
}

Result<std::vector<std::int64_t>> FileCategory::fileKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT file FROM File_categories WHERE category = ? ORDER BY file", pk);
}

Status FileCategory::addFile(StoreContext& context, std::int64_t fileKey) const {
    return EntityRows::write(context, kEntity,
                             "INSERT OR IGNORE INTO File_categories (file, category) VALUES (?, ?)",
                             fileKey, pk);
}

Status FileCategory::removeFile(StoreContext& context, std::int64_t fileKey) const {
    return EntityRows::write(context, kEntity,
                             "DELETE FROM File_categories WHERE file = ? AND category = ?", fileKey,
                             pk);
}

Result<std::vector<std::int64_t>> FileCategory::subcategoryKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT child FROM FileCategory_subcategories WHERE parent = ? ORDER BY child",
        pk);
}

Result<std::vector<std::int64_t>> FileCategory::supercategoryKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT parent FROM FileCategory_subcategories WHERE child = ? ORDER BY parent",
        pk);
}

Status FileCategory::addSubcategory(StoreContext& context, std::int64_t childKey) const {
    return EntityRows::write(context, kEntity, kChildren.add, pk, childKey);
}

Status FileCategory::removeSubcategory(StoreContext& context, std::int64_t childKey) const {
    return EntityRows::write(context, kEntity, kChildren.remove, pk, childKey);
}

Result<std::vector<std::int64_t>> FileCategory::userKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT user FROM FileCategory_users WHERE category = ? ORDER BY user", pk);
}

Status FileCategory::addUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(
        context, kEntity, "INSERT OR IGNORE INTO FileCategory_users (category, user) VALUES (?, ?)",
        pk, userKey);
}

Status FileCategory::removeUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(context, kEntity,
                             "DELETE FROM FileCategory_users WHERE category = ? AND user = ?", pk,
                             userKey);
}

Result<std::vector<std::int64_t>> FileCategory::sortingKeys(StoreContext& context) const {
    return EntityRows::keys(context,
                            "SELECT pk FROM CategorySorting WHERE category = ? ORDER BY pk", pk);
}

Result<std::vector<FileCategory>> FileCategory::rootCategories(
    StoreContext& context, std::optional<std::int64_t> userKey,
    std::optional<std::int64_t> localeKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    // supercategories.@count == 0 AND users CONTAINS %@ AND locale == %@
    return EntityRows::all<FileCategory>(
        context,
        "SELECT " PW_CATEGORY_COLUMNS
        "FROM FileCategory c WHERE NOT EXISTS (SELECT 1 FROM FileCategory_subcategories r "
        "WHERE r.child = c.pk) AND EXISTS (SELECT 1 FROM FileCategory_users u WHERE "
        "u.category = c.pk AND u.user = ?) AND c.locale = ? ORDER BY c.pk",
        readCategory, userKey, localeKey);
}

Result<std::vector<FileCategory>> FileCategory::subcategoriesSortedByName(
    StoreContext& context, std::optional<std::int64_t> userKey,
    std::optional<std::int64_t> localeKey) const {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    // users CONTAINS %@ AND locale = %@, over subcategories, sorted by name
    return EntityRows::all<FileCategory>(
        context,
        "SELECT " PW_CATEGORY_COLUMNS
        "FROM FileCategory_subcategories r JOIN FileCategory c ON c.pk = r.child WHERE "
        "r.parent = ? AND EXISTS (SELECT 1 FROM FileCategory_users u WHERE u.category = c.pk "
        "AND u.user = ?) AND c.locale = ? ORDER BY c.name, c.pk",
        readCategory, pk, userKey, localeKey);
}

#undef PW_CATEGORY_COLUMNS

}  // namespace pagewell
