#pragma once
// The server's position of a category under one parent in one locale. One record per cmsID;
// also found by (category, parentCategoryID, localeID).
//
// Threading: a CategorySorting value is plain data; the operations run on the thread that
// owns the context passed in. sortingWithID takes the process-wide CategorySorting lock after
// the context's writer lock.
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <cstdint>
#include <optional>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct CategorySorting {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::int64_t> parentCategoryID;  // cmsID of the parent category
    std::optional<std::int64_t> localeID;          // cmsID of the locale
    std::optional<std::int64_t> position;
    std::optional<SystemTime> created;
    std::optional<SystemTime> modified;
    std::optional<std::int64_t> category;  // row key of the FileCategory

    static constexpr const char* kEntity = "CategorySorting";

    static Result<std::optional<CategorySorting>> find(StoreContext& context, std::int64_t pk);

    // Finds the sorting by cmsID, creates it when absent, sets `category` (row key),
    // `parentCategoryID` and `localeID`, and saves the context (which commits everything the
    // context holds). Without id: logged, none.
    static Result<std::optional<CategorySorting>> sortingWithID(
        StoreContext& context, std::optional<std::int64_t> id,
        std::optional<std::int64_t> categoryKey, std::optional<std::int64_t> parentCategoryID,
        std::optional<std::int64_t> localeID);

    // "category = %@ AND parentCategoryID = %@ AND localeID = %@"; absent values match only
    // absent values.
    static Result<std::optional<CategorySorting>> sortingWithCategory(
        StoreContext& context, std::optional<std::int64_t> categoryKey,
        std::optional<std::int64_t> parentCategoryID, std::optional<std::int64_t> localeID);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
