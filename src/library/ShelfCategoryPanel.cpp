#include "library/ShelfCategoryPanel.h"

#include "library/ShelfTitleOrder.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"

namespace pagewell {

ShelfCategoryPanel::ShelfCategoryPanel(StoreContext& context, std::optional<std::int64_t> userKey,
                                       std::optional<std::int64_t> localeKey)
    : context_(context),
      userKey_(userKey ? userKey : CurrentSelection::userKey()),
      localeKey_(localeKey ? localeKey : CurrentSelection::localeKey()) {}

Result<std::vector<ShelfCategoryPanel::Entry>> ShelfCategoryPanel::roots() {
    return list(std::nullopt, 0);
}

Result<std::vector<ShelfCategoryPanel::Entry>> ShelfCategoryPanel::children(
    const FileCategory& parent) {
    return list(parent.pk, parent.cmsID.value_or(0));
}

Result<std::vector<ShelfCategoryPanel::Entry>> ShelfCategoryPanel::list(
    std::optional<std::int64_t> parentKey, std::int64_t parentID) {
    std::vector<Entry> entries;
    if (!userKey_ || !localeKey_) {
        return entries;
    }
    Database& database = context_.database();
    auto collation = ShelfTitleOrder::install(database);
    if (!collation.ok()) {
        return collation.error();
    }
    // ?1 user, ?2 locale, ?3 parent id for the sortings, ?4 parent row key (children only).
    const std::string visible =
        "EXISTS (SELECT 1 FROM FileCategory_users cu WHERE cu.category = %1.pk AND cu.user = ?1) "
        "AND %1.locale = ?2";
    auto visibleAs = [&](const std::string& alias) {
        std::string text = visible;
        for (std::size_t at; (at = text.find("%1")) != std::string::npos;) {
            text.replace(at, 2, alias);
        }
        return text;
    };
    std::string sql =
        "SELECT c.pk, (SELECT cs.position FROM CategorySorting cs WHERE cs.category = c.pk AND "
        "cs.parentCategoryID IS ?3 AND cs.localeID IS (SELECT cmsID FROM Locale WHERE pk = ?2) "
        "ORDER BY cs.pk LIMIT 1) AS sortPosition, EXISTS (SELECT 1 FROM "
        "FileCategory_subcategories sc JOIN FileCategory k ON k.pk = sc.child WHERE sc.parent = "
        "c.pk AND " +
        visibleAs("k") + ") FROM FileCategory c WHERE " + visibleAs("c");
    if (parentKey) {
        sql +=
            " AND EXISTS (SELECT 1 FROM FileCategory_subcategories p WHERE p.child = c.pk AND "
            "p.parent = ?4)";
    } else {
        sql +=
            " AND NOT EXISTS (SELECT 1 FROM FileCategory_subcategories p WHERE p.child = c.pk) "
            "AND c.localeID IS (SELECT cmsID FROM Locale WHERE pk = ?2)";
    }
    sql += " ORDER BY sortPosition ASC, c.name COLLATE " + collation.value() + " ASC, c.pk ASC";
    auto statement = database.prepare(sql);
    if (!statement.ok()) {
        return statement.error();
    }
    statement.value()->bind(1, *userKey_).bind(2, *localeKey_).bind(3, parentID);
    if (parentKey) {
        statement.value()->bind(4, *parentKey);
    }
    std::vector<std::tuple<std::int64_t, std::optional<std::int64_t>, bool>> rows;
    if (Status read = statement.value()->eachRow([&rows](Statement& row) {
            rows.emplace_back(row.integer(0), row.optionalInteger(1), row.boolean(2));
        });
        !read.ok()) {
        return read.error();
    }
    for (const auto& [pk, position, hasChildren] : rows) {
        auto category = FileCategory::find(context_, pk);
        if (!category.ok()) {
            return category.error();
        }
        if (category.value()) {
            Entry entry{*category.value(), position, hasChildren};
            entry.category.position = position;
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

}  // namespace pagewell
