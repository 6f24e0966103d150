#include "sync/FixDuplicateLocales.h"

#include <cstdint>
#include <optional>

#include "platform/Logger.h"
#include "store/CurrentSelection.h"
#include "store/EntityRows.h"
#include "store/Locale.h"
#include "sync/MigrationSupport.h"
#include "sync/TimestampManager.h"

namespace pagewell {

namespace {

// Everything that points at a language, moved from ?2 (the duplicate) to ?1 (the kept one).
// A category whose server ID the kept language already holds stays behind and loses its
// language with the duplicate; the duplicate clean-up after the next synchronisation (a full
// one, the timestamps being reset) merges it.
constexpr const char* kMoves[] = {
    "INSERT OR IGNORE INTO Locale_users (locale, user) "
    "SELECT ?1, user FROM Locale_users WHERE locale = ?2",
    "DELETE FROM Locale_users WHERE locale = ?2",
    "UPDATE OR IGNORE FileCategory SET locale = ?1 WHERE locale = ?2",
    "INSERT OR IGNORE INTO File_locales (file, locale) "
    "SELECT file, ?1 FROM File_locales WHERE locale = ?2",
    "DELETE FROM File_locales WHERE locale = ?2",
    "UPDATE FavoriteFolder SET locale = ?1 WHERE locale = ?2",
    "UPDATE Imprint SET locale = ?1 WHERE locale = ?2",
};

Status mergeLocale(StoreContext& context, std::int64_t cmsID) {
    auto keys =
        EntityRows::keys(context, "SELECT pk FROM Locale WHERE cmsID = ? ORDER BY pk", cmsID);
    if (!keys.ok()) {
        return keys.error();
    }
    if (keys.value().size() < 2) {
        return {};
    }
    const std::int64_t kept = keys.value().front();
    for (std::size_t index = 1; index < keys.value().size(); ++index) {
        const std::int64_t duplicate = keys.value()[index];
        for (const char* sql : kMoves) {
            if (Status moved = EntityRows::write(context, Locale::kEntity, sql, kept, duplicate);
                !moved.ok()) {
                return moved;
            }
        }
        auto record = Locale::find(context, duplicate);
        if (!record.ok()) {
            return record.error();
        }
        if (record.value()) {
            if (Status deleted = record.value()->deleteRecord(context); !deleted.ok()) {
                return deleted;
            }
        }
        // The chosen language must not point at a record that is gone.
        if (CurrentSelection::localeKey() == duplicate) {
            CurrentSelection::setLocale(kept);
        }
    }
    return {};
}

}  // namespace

void FixDuplicateLocales::migrateFixDuplicateLocales() {
    if (MigrationSupport::isDone(kDoneFlag)) {
        return;
    }
    if (StoreContext* context = MigrationSupport::mainContext()) {
        (void)fixDuplicateLocales(*context);
    }
    MigrationSupport::markDone(kDoneFlag);
    TimestampManager::resetAllTimestamps();
}

Status FixDuplicateLocales::fixDuplicateLocales(StoreContext& context) {
    auto duplicates = EntityRows::keys(context,
                                       "SELECT cmsID FROM Locale WHERE cmsID IS NOT NULL "
                                       "GROUP BY cmsID HAVING count(*) > 1 ORDER BY cmsID");
    if (!duplicates.ok()) {
        PW_LOG_ERROR_VALUE(duplicates.error());
        return duplicates.error();
    }
    Status work;
    for (std::int64_t cmsID : duplicates.value()) {
        if (work = mergeLocale(context, cmsID); !work.ok()) {
            break;
        }
    }
    return MigrationSupport::finish(context, work);
}

}  // namespace pagewell
