#include "store/User.h"

#include <mutex>

#include "store/CurrentSelection.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/FindOrCreateBatch.h"

namespace pagewell {

namespace {

constexpr const char* kSelect = "SELECT pk, cmsID, username, passwordHash, secret FROM User ";

User readUser(Statement& row) {
    User user;
    user.pk = row.integer(0);
    user.cmsID = row.optionalInteger(1);
    user.username = row.optionalText(2);
    user.passwordHash = row.optionalText(3);
    user.secret = row.optionalText(4);
    return user;
}

}  // namespace

Result<std::optional<User>> User::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<User>(context, std::string(kSelect) + "WHERE pk = ?", readUser, pk);
}

Result<std::optional<User>> User::currentUser(StoreContext& context) {
    std::optional<std::int64_t> key = CurrentSelection::userKey();
    if (!key) {
        return std::optional<User>();
    }
    return find(context, *key);
}

Result<User> User::userWithID(StoreContext& context, std::optional<std::int64_t> id,
                              std::optional<std::string> username) {
    // The writer lock first, then the entity lock: every find-or-create takes them in this
    // order, so a thread holding an entity lock never waits for the writer lock.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::User));
    auto found = EntityRows::first<User>(
        context, std::string(kSelect) + "WHERE username = ? OR cmsID = ? ORDER BY pk LIMIT 1",
        readUser, username, id);
    if (!found.ok()) {
        return found.error();
    }
    User user = found.value().value_or(User{});
    user.cmsID = id;
    user.username = std::move(username);
    if (Status written = user.update(context); !written.ok()) {
        return written.error();
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return user;
}

Status User::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO User (cmsID, username, passwordHash, secret) VALUES (?, ?, ?, ?)", cmsID,
            username, passwordHash, secret);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE User SET cmsID = ?, username = ?, passwordHash = ?, "
                             "secret = ? WHERE pk = ?",
                             cmsID, username, passwordHash, secret, pk);
}

Status User::deleteRecord(StoreContext& context) {
    return EntityRows::write(context, kEntity, "DELETE FROM User WHERE pk = ?", pk);
}

Result<std::vector<std::int64_t>> User::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT file FROM File_users WHERE user = ? ORDER BY file",
                            pk);
}

Result<std::vector<std::int64_t>> User::categoryKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT category FROM FileCategory_users WHERE user = ? ORDER BY category", pk);
}

Result<std::vector<std::int64_t>> User::localeKeys(StoreContext& context) const {
    return EntityRows::keys(context,
                            "SELECT locale FROM Locale_users WHERE user = ? ORDER BY locale", pk);
}

Result<std::vector<std::int64_t>> User::fileStateKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT pk FROM FileState WHERE user = ? ORDER BY pk", pk);
}

}  // namespace pagewell
