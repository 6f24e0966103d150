#pragma once
// A person who has signed in on this device. Catalogue records are shared between users; a
// user holds a file, category or locale when the user is in that record's `users`, and keeps
// per-file facts in FileState.
//
// Threading: a User value is plain data; the operations run on the thread that owns the
// context passed in. userWithID takes the process-wide User lock (see EntityLocks).
// Find-or-create saves at once unless a FindOrCreateBatch of this thread holds the context.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "store/StoreContext.h"

namespace pagewell {

struct User {
    std::int64_t pk = 0;  // 0: not stored yet
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> username;
    std::optional<std::string> passwordHash;
    std::optional<std::string> secret;

    static constexpr const char* kEntity = "User";

    static Result<std::optional<User>> find(StoreContext& context, std::int64_t pk);
    // The signed-in user of CurrentSelection; none when nobody is signed in.
    static Result<std::optional<User>> currentUser(StoreContext& context);

    // Finds the user by "username = %@ OR cmsID = %@" (the first by row order when both match
    // different records), creates one when neither matches, then overwrites both attributes
    // with the given values and saves the context. Saving commits everything the context
    // holds, not only this record.
    static Result<User> userWithID(StoreContext& context, std::optional<std::int64_t> id,
                                   std::optional<std::string> username);

    // Inserts (pk == 0, then pk is set) or updates every attribute. Does not save.
    Status update(StoreContext& context);
    // Deletes the row; the user's states, share files and memberships follow it.
    Status deleteRecord(StoreContext& context);

    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Result<std::vector<std::int64_t>> categoryKeys(StoreContext& context) const;
    Result<std::vector<std::int64_t>> localeKeys(StoreContext& context) const;
    Result<std::vector<std::int64_t>> fileStateKeys(StoreContext& context) const;
};

}  // namespace pagewell
