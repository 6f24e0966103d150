#pragma once
// A node of the category tree of one locale. Categories form a directed graph: a category may
// have several parents and several children; roots have no parents. One record per (cmsID,
// locale): the same server category in two locales is two records. Deleting a category
// deletes the files that belonged to it alone.
//
// Threading: a FileCategory value is plain data; the operations run on the thread that owns
// the context passed in. fileCategoryWithID takes the process-wide FileCategory lock after the
// context's writer lock.
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct FileCategory {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::int64_t> localeID;  // cmsID of the locale, for plain-value queries
    std::optional<std::string> name;
    std::optional<SystemTime> modified;
    std::optional<std::int64_t> position;
    std::optional<std::int64_t> locale;  // row key of the Locale

    static constexpr const char* kEntity = "FileCategory";

    static Result<std::optional<FileCategory>> find(StoreContext& context, std::int64_t pk);
    // "cmsID = %@ AND locale = %@" without creating.
    static Result<std::optional<FileCategory>> findWithID(StoreContext& context, std::int64_t cmsID,
                                                          std::int64_t localeKey);

    // Find-or-create by "cmsID = %@ AND locale = %@". A missing locale or user (row keys) is
    // the current one; a new record gets cmsID, locale and localeID (the locale's cmsID) and
    // is saved; in every case the user is added to `users` and the context saved (which
    // commits everything the context holds). Without id: logs "FileCategory needs a valid ID"
    // and gives none; without any locale: logged, none.
    static Result<std::optional<FileCategory>> fileCategoryWithID(
        StoreContext& context, std::optional<std::int64_t> id,
        std::optional<std::int64_t> localeKey = std::nullopt,
        std::optional<std::int64_t> userKey = std::nullopt);
    // The same in the main context of the shared store.
    static Result<std::optional<FileCategory>> fileCategoryWithID(
        std::optional<std::int64_t> id, std::optional<std::int64_t> localeKey = std::nullopt,
        std::optional<std::int64_t> userKey = std::nullopt);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    // Forgets the category's change timestamp, deletes every file whose only category this
    // is (File::deleteRecord), then the row; sortings and memberships follow it.
    Status deleteRecord(StoreContext& context);
    Status prepareForDeletion(StoreContext& context);

    // name = "title", modified = "time_modified" (server date form).
    void setProperties(const nlohmann::json& properties);

    // Makes `subcategories` follow the server's list for the locale (row key): children of
    // that locale whose cmsID is not listed are removed (children of other locales stay);
    // every listed ID is found or created (current user) and added. A list that is not an
    // array, or no locale, changes nothing. IDs are read with the importer's integer rule.
    Status setSubcategoriesWithIDArray(StoreContext& context, const nlohmann::json& ids,
                                       std::optional<std::int64_t> localeKey);
    Status setSubcategoriesWithIDArray(StoreContext& context, const std::vector<std::int64_t>& ids,
                                       std::optional<std::int64_t> localeKey);
    // The same for `supercategories`.
    Status setParentcategoriesWithIDArray(StoreContext& context, const nlohmann::json& ids,
                                          std::optional<std::int64_t> localeKey);
    Status setParentcategoriesWithIDArray(StoreContext& context,
                                          const std::vector<std::int64_t>& ids,
                                          std::optional<std::int64_t> localeKey);

    // Sum of File::usedDiskSpace over `files`: what downloading them still needs.
    Result<std::int64_t> usedDiskSpace(StoreContext& context) const;

    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Status addFile(StoreContext& context, std::int64_t fileKey) const;
    Status removeFile(StoreContext& context, std::int64_t fileKey) const;
    Result<std::vector<std::int64_t>> subcategoryKeys(StoreContext& context) const;
    Result<std::vector<std::int64_t>> supercategoryKeys(StoreContext& context) const;
    Status addSubcategory(StoreContext& context, std::int64_t childKey) const;
    Status removeSubcategory(StoreContext& context, std::int64_t childKey) const;
    Result<std::vector<std::int64_t>> userKeys(StoreContext& context) const;
    Status addUser(StoreContext& context, std::int64_t userKey) const;
    Status removeUser(StoreContext& context, std::int64_t userKey) const;
    Result<std::vector<std::int64_t>> sortingKeys(StoreContext& context) const;

    // "supercategories.@count == 0 AND users CONTAINS %@ AND locale == %@", by row key. Keys
    // left empty mean the current selection.
    static Result<std::vector<FileCategory>> rootCategories(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt,
        std::optional<std::int64_t> localeKey = std::nullopt);
    // "users CONTAINS %@ AND locale = %@" over `subcategories`, sorted by name.
    Result<std::vector<FileCategory>> subcategoriesSortedByName(
        StoreContext& context, std::optional<std::int64_t> userKey = std::nullopt,
        std::optional<std::int64_t> localeKey = std::nullopt) const;
};

}  // namespace pagewell
