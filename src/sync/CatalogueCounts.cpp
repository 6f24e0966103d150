#include "sync/CatalogueCounts.h"

#include <optional>

#include "store/EntityRows.h"
#include "sync/SyncDiskSpace.h"

namespace pagewell {

namespace {

// The user's files of the language; the callers add their own conditions after it.
#define PW_VISIBLE_FILES                                                              \
    "FROM File f WHERE EXISTS (SELECT 1 FROM File_locales l WHERE l.file = f.pk AND " \
    "l.locale = ?1) AND EXISTS (SELECT 1 FROM File_users u WHERE u.file = f.pk AND "  \
    "u.user = ?2) "

}  // namespace

Result<CatalogueCounts> CatalogueCounts::count(StoreContext& context, std::int64_t userKey,
                                               std::int64_t localeKey) {
    auto one = [&](const char* sql) -> Result<std::int64_t> {
        auto row = EntityRows::first<std::int64_t>(
            context, sql, [](Statement& statement) { return statement.integer(0); }, localeKey,
            userKey);
        if (!row.ok()) {
            return row.error();
        }
        return row.value().value_or(0);
    };

    CatalogueCounts counts;
    struct Query {
        std::int64_t* target;
        const char* sql;
    };
    const Query queries[] = {
        {&counts.categories,
         "SELECT COUNT(*) FROM FileCategory c WHERE c.locale = ?1 AND EXISTS (SELECT 1 FROM "
         "FileCategory_users u WHERE u.category = c.pk AND u.user = ?2)"},
        {&counts.files, "SELECT COUNT(*) " PW_VISIBLE_FILES},
        {&counts.highlights, "SELECT COUNT(*) " PW_VISIBLE_FILES "AND f.highlight = 1"},
        {&counts.downloaded,
         "SELECT COUNT(*) " PW_VISIBLE_FILES
         "AND f.downloaded = 1 AND NOT EXISTS (SELECT 1 FROM FileState s WHERE s.file = f.pk "
         "AND s.user = ?2 AND s.pretendDeletion = 1)"},
        {&counts.pendingDownloads, "SELECT COUNT(*) " PW_VISIBLE_FILES
                                   "AND (IFNULL(f.downloaded, 0) = 0 OR f.updateAvailable = 1)"},
    };
    for (const Query& query : queries) {
        auto value = one(query.sql);
        if (!value.ok()) {
            return value.error();
        }
        *query.target = value.value();
    }
    auto needed = SyncDiskSpace::neededForSync(context, userKey, localeKey);
    if (!needed.ok()) {
        return needed.error();
    }
    counts.neededBytes = needed.value();
    return counts;
}

#undef PW_VISIBLE_FILES

}  // namespace pagewell
