#include "store/Locale.h"

#include <mutex>

#include "store/CurrentSelection.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/FindOrCreateBatch.h"

namespace pagewell {

namespace {

constexpr const char* kSelectByPk =
    "SELECT pk, cmsID, title, iso_full, iso5, iso2 FROM Locale WHERE pk = ?";
constexpr const char* kSelectByCmsID =
    "SELECT pk, cmsID, title, iso_full, iso5, iso2 FROM Locale WHERE cmsID = ? ORDER BY pk "
    "LIMIT 1";

Locale readLocale(Statement& row) {
    Locale locale;
    locale.pk = row.integer(0);
    locale.cmsID = row.optionalInteger(1);
    locale.title = row.optionalText(2);
    locale.iso_full = row.optionalText(3);
    locale.iso5 = row.optionalText(4);
    locale.iso2 = row.optionalText(5);
    return locale;
}

}  // namespace

Result<std::optional<Locale>> Locale::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Locale>(context, kSelectByPk, readLocale, pk);
}

Result<std::optional<Locale>> Locale::findWithCmsID(StoreContext& context, std::int64_t cmsID) {
    return EntityRows::first<Locale>(context, kSelectByCmsID, readLocale, cmsID);
}

Result<std::optional<Locale>> Locale::currentLocale(StoreContext& context) {
    std::optional<std::int64_t> key = CurrentSelection::localeKey();
    if (!key) {
        return std::optional<Locale>();
    }
    return find(context, *key);
}

Result<Locale> Locale::localeWithID(StoreContext& context, std::int64_t id,
                                    std::optional<std::int64_t> userKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    // Writer lock, then entity lock: the order every find-or-create keeps.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::Locale));
    auto found = findWithCmsID(context, id);
    if (!found.ok()) {
        return found.error();
    }
    Locale locale;
    if (found.value()) {
        locale = *found.value();
    } else {
        locale.cmsID = id;
        if (Status created = locale.update(context); !created.ok()) {
            return created.error();
        }
    }
    if (userKey) {
        if (Status added = locale.addUser(context, *userKey); !added.ok()) {
            return added.error();
        }
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return locale;
}

Status Locale::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Locale (cmsID, title, iso_full, iso5, iso2) VALUES (?, ?, ?, ?, ?)", cmsID,
            title, iso_full, iso5, iso2);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Locale SET cmsID = ?, title = ?, iso_full = ?, iso5 = ?, "
                             "iso2 = ? WHERE pk = ?",
                             cmsID, title, iso_full, iso5, iso2, pk);
}

Status Locale::deleteRecord(StoreContext& context) {
    return EntityRows::write(context, kEntity, "DELETE FROM Locale WHERE pk = ?", pk);
}

Result<std::vector<std::int64_t>> Locale::userKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT user FROM Locale_users WHERE locale = ? ORDER BY user",
                            pk);
}

Status Locale::addUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(context, kEntity,
                             "INSERT OR IGNORE INTO Locale_users (locale, user) VALUES (?, ?)", pk,
                             userKey);
}

Status Locale::removeUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(context, kEntity,
                             "DELETE FROM Locale_users WHERE locale = ? AND user = ?", pk, userKey);
}

Result<std::vector<std::int64_t>> Locale::categoryKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT pk FROM FileCategory WHERE locale = ? ORDER BY pk",
                            pk);
}

Result<std::vector<std::int64_t>> Locale::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT file FROM File_locales WHERE locale = ? ORDER BY file",
                            pk);
}

}  // namespace pagewell
