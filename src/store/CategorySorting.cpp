#include "store/CategorySorting.h"

#include <mutex>

#include "platform/Logger.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/FindOrCreateBatch.h"

namespace pagewell {

namespace {

#define PW_CATEGORY_SORTING_SELECT                                                         \
    "SELECT pk, cmsID, parentCategoryID, localeID, position, created, modified, category " \
    "FROM CategorySorting "

CategorySorting readSorting(Statement& row) {
    CategorySorting sorting;
    sorting.pk = row.integer(0);
    sorting.cmsID = row.optionalInteger(1);
    sorting.parentCategoryID = row.optionalInteger(2);
    sorting.localeID = row.optionalInteger(3);
    sorting.position = row.optionalInteger(4);
    sorting.created = row.optionalTime(5);
    sorting.modified = row.optionalTime(6);
    sorting.category = row.optionalInteger(7);
    return sorting;
}

}  // namespace

Result<std::optional<CategorySorting>> CategorySorting::find(StoreContext& context,
                                                             std::int64_t pk) {
    return EntityRows::first<CategorySorting>(context, PW_CATEGORY_SORTING_SELECT "WHERE pk = ?",
                                              readSorting, pk);
}

Result<std::optional<CategorySorting>> CategorySorting::sortingWithID(
    StoreContext& context, std::optional<std::int64_t> id, std::optional<std::int64_t> categoryKey,
    std::optional<std::int64_t> parentCategoryID, std::optional<std::int64_t> localeID) {
    if (!id) {
        PW_LOG_ERROR("CategorySorting needs a valid ID");
        return std::optional<CategorySorting>();
    }
    // Writer lock, then entity lock: the order every find-or-create keeps.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::CategorySorting));
    auto found = EntityRows::first<CategorySorting>(
        context, PW_CATEGORY_SORTING_SELECT "WHERE cmsID = ? ORDER BY pk LIMIT 1", readSorting, id);
    if (!found.ok()) {
        return found.error();
    }
    CategorySorting sorting = found.value().value_or(CategorySorting{});
    sorting.cmsID = id;
    sorting.category = categoryKey;
    sorting.parentCategoryID = parentCategoryID;
    sorting.localeID = localeID;
    if (Status written = sorting.update(context); !written.ok()) {
        return written.error();
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return std::optional<CategorySorting>(sorting);
}

Result<std::optional<CategorySorting>> CategorySorting::sortingWithCategory(
    StoreContext& context, std::optional<std::int64_t> categoryKey,
    std::optional<std::int64_t> parentCategoryID, std::optional<std::int64_t> localeID) {
    return EntityRows::first<CategorySorting>(
        context,
        PW_CATEGORY_SORTING_SELECT
        "WHERE category IS ? AND parentCategoryID IS ? AND localeID IS ? ORDER BY pk LIMIT 1",
        readSorting, categoryKey, parentCategoryID, localeID);
}

Status CategorySorting::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO CategorySorting (cmsID, parentCategoryID, localeID, position, created, "
            "modified, category) VALUES (?, ?, ?, ?, ?, ?, ?)",
            cmsID, parentCategoryID, localeID, position, created, modified, category);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE CategorySorting SET cmsID = ?, parentCategoryID = ?, "
                             "localeID = ?, position = ?, created = ?, modified = ?, "
                             "category = ? WHERE pk = ?",
                             cmsID, parentCategoryID, localeID, position, created, modified,
                             category, pk);
}

Status CategorySorting::deleteRecord(StoreContext& context) {
    return EntityRows::write(context, kEntity, "DELETE FROM CategorySorting WHERE pk = ?", pk);
}

#undef PW_CATEGORY_SORTING_SELECT

}  // namespace pagewell
