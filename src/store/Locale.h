#pragma once
// A content language offered by the server. One record per cmsID; the users who chose it are
// in `users`. Its categories point at it; files list it in their `locales`.
//
// Threading: a Locale value is plain data; the operations run on the thread that owns the
// context passed in. localeWithID takes the process-wide Locale lock (see EntityLocks).
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct Locale {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> title;
    std::optional<std::string> iso_full;
    std::optional<std::string> iso5;
    std::optional<std::string> iso2;

    static constexpr const char* kEntity = "Locale";

    static Result<std::optional<Locale>> find(StoreContext& context, std::int64_t pk);
    static Result<std::optional<Locale>> findWithCmsID(StoreContext& context, std::int64_t cmsID);
    // The chosen locale of CurrentSelection; none when no locale is chosen.
    static Result<std::optional<Locale>> currentLocale(StoreContext& context);

    // Finds the locale by cmsID, creates it when absent, adds the user (by row key; none: the
    // signed-in user, if any) to `users` and saves the context (which commits everything the
    // context holds).
    static Result<Locale> localeWithID(StoreContext& context, std::int64_t id,
                                       std::optional<std::int64_t> userKey = std::nullopt);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    // Deletes the row; its categories keep living without locale, memberships go.
    Status deleteRecord(StoreContext& context);

    Result<std::vector<std::int64_t>> userKeys(StoreContext& context) const;
    Status addUser(StoreContext& context, std::int64_t userKey) const;
    Status removeUser(StoreContext& context, std::int64_t userKey) const;
    Result<std::vector<std::int64_t>> categoryKeys(StoreContext& context) const;
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
};

}  // namespace pagewell
