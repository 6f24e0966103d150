#include "sync/CatalogueSnapshot.h"

#include <utility>
#include <vector>

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr char kFieldSeparator = '\x1f';

struct Row {
    std::int64_t pk = 0;
    std::int64_t cmsID = 0;
    std::string fields;
};

// Every column from `first` on, as text (NULL reads as empty), one separator after each.
std::string fieldsFrom(const Statement& statement, int first, int count) {
    std::string fields;
    for (int column = first; column < first + count; ++column) {
        if (!statement.isNull(column)) {
            fields += statement.text(column);
        }
        fields += kFieldSeparator;
    }
    return fields;
}

// (record pk, related cmsID) pairs ordered by pk, then cmsID, folded into "id,id,..." per pk.
std::map<std::int64_t, std::string> relatedIDs(
    const std::vector<std::pair<std::int64_t, std::int64_t>>& pairs) {
    std::map<std::int64_t, std::string> lists;
    for (const auto& [pk, id] : pairs) {
        std::string& list = lists[pk];
        if (!list.empty()) {
            list += ',';
        }
        list += std::to_string(id);
    }
    return lists;
}

std::pair<std::int64_t, std::int64_t> readPair(Statement& statement) {
    return {statement.integer(0), statement.integer(1)};
}

}  // namespace

Result<CatalogueSnapshot> CatalogueSnapshot::take(StoreContext& context, std::int64_t userKey,
                                                  std::int64_t localeKey) {
    auto readRow = [](int fieldCount) {
        return [fieldCount](Statement& statement) {
            return Row{statement.integer(0), statement.integer(1),
                       fieldsFrom(statement, 2, fieldCount)};
        };
    };

    auto categories = EntityRows::all<Row>(
        context,
        "SELECT c.pk, c.cmsID, c.name, c.modified, c.position FROM FileCategory c "
        "WHERE c.locale = ?1 AND c.cmsID IS NOT NULL AND EXISTS (SELECT 1 FROM "
        "FileCategory_users u WHERE u.category = c.pk AND u.user = ?2)",
        readRow(3), localeKey, userKey);
    if (!categories.ok()) {
        return categories.error();
    }
    auto parents = EntityRows::all<std::pair<std::int64_t, std::int64_t>>(
        context,
        "SELECT s.child, p.cmsID FROM FileCategory_subcategories s "
        "JOIN FileCategory p ON p.pk = s.parent WHERE p.locale = ?1 "
        "ORDER BY s.child, p.cmsID",
        readPair, localeKey);
    if (!parents.ok()) {
        return parents.error();
    }
    auto files = EntityRows::all<Row>(
        context,
        "SELECT f.pk, f.cmsID, f.title, f.modified, f.fileURL, f.size, IFNULL(f.highlight, 0) "
        "FROM File f WHERE f.cmsID IS NOT NULL "
        "AND EXISTS (SELECT 1 FROM File_locales l WHERE l.file = f.pk AND l.locale = ?1) "
        "AND EXISTS (SELECT 1 FROM File_users u WHERE u.file = f.pk AND u.user = ?2)",
        readRow(5), localeKey, userKey);
    if (!files.ok()) {
        return files.error();
    }
    auto memberships = EntityRows::all<std::pair<std::int64_t, std::int64_t>>(
        context,
        "SELECT m.file, c.cmsID FROM File_categories m JOIN FileCategory c "
        "ON c.pk = m.category WHERE c.locale = ?1 ORDER BY m.file, c.cmsID",
        readPair, localeKey);
    if (!memberships.ok()) {
        return memberships.error();
    }

    CatalogueSnapshot snapshot;
    const auto parentLists = relatedIDs(parents.value());
    for (const Row& row : categories.value()) {
        auto found = parentLists.find(row.pk);
        snapshot.categories_[row.cmsID] =
            row.fields + (found == parentLists.end() ? std::string() : found->second);
    }
    const auto categoryLists = relatedIDs(memberships.value());
    for (const Row& row : files.value()) {
        auto found = categoryLists.find(row.pk);
        snapshot.files_[row.cmsID] =
            row.fields + (found == categoryLists.end() ? std::string() : found->second);
    }
    return snapshot;
}

CatalogueChanges CatalogueSnapshot::changesSince(const CatalogueSnapshot& before) const {
    return CatalogueChanges{compare(before.categories_, categories_),
                            compare(before.files_, files_)};
}

CatalogueChanges::Lists CatalogueSnapshot::compare(const Fingerprints& before,
                                                   const Fingerprints& after) {
    CatalogueChanges::Lists lists;
    for (const auto& [id, fingerprint] : after) {
        auto old = before.find(id);
        if (old == before.end()) {
            lists.added.push_back(id);
        } else if (old->second != fingerprint) {
            lists.changed.push_back(id);
        }
    }
    for (const auto& [id, fingerprint] : before) {
        if (!after.contains(id)) {
            lists.removed.push_back(id);
        }
    }
    return lists;
}

}  // namespace pagewell
