#include "store/CustomerLocationGroup.h"

#include <nlohmann/json.hpp>

#include "store/CustomerLocation.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "CustomerLocationGroup";

#define GROUP_COLUMNS "pk, cmsID, name"

CustomerLocationGroup readGroup(Statement& row) {
    CustomerLocationGroup group;
    group.pk = row.integer(0);
    group.cmsID = row.optionalInteger(1);
    group.name = row.optionalText(2);
    return group;
}

}  // namespace

Result<std::optional<CustomerLocationGroup>> CustomerLocationGroup::find(StoreContext& context,
                                                                         std::int64_t pk) {
    return EntityRows::first<CustomerLocationGroup>(
        context, "SELECT " GROUP_COLUMNS " FROM CustomerLocationGroup WHERE pk = ?", readGroup, pk);
}

Result<CustomerLocationGroup> CustomerLocationGroup::findOrCreate(StoreContext& context,
                                                                  std::int64_t cmsID) {
    // The write transaction (taken before the look-up) keeps other contexts from adding the
    // same group in between; the identity index backs it up.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = EntityRows::first<CustomerLocationGroup>(
        context, "SELECT " GROUP_COLUMNS " FROM CustomerLocationGroup WHERE cmsID = ?", readGroup,
        cmsID);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    CustomerLocationGroup group;
    group.cmsID = cmsID;
    if (Status inserted = group.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return group;
}

Status CustomerLocationGroup::deleteAllExcept(StoreContext& context,
                                              const std::vector<std::int64_t>& cmsIDs) {
    return EntityRows::write(
        context, kEntity,
        "DELETE FROM CustomerLocationGroup WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
}

Result<std::vector<CustomerLocation>> CustomerLocationGroup::customers(
    StoreContext& context) const {
    return EntityRows::records<CustomerLocation>(context,
                                                 "SELECT customer FROM CustomerLocation_groups "
                                                 "WHERE customerGroup = ? ORDER BY customer",
                                                 pk);
}

Status CustomerLocationGroup::addCustomer(StoreContext& context, std::int64_t customerPk) const {
    return EntityRows::write(
        context, kEntity,
        "INSERT OR IGNORE INTO CustomerLocation_groups (customer, customerGroup) VALUES (?, ?)",
        customerPk, pk);
}

Status CustomerLocationGroup::removeCustomer(StoreContext& context, std::int64_t customerPk) const {
    return EntityRows::write(
        context, kEntity,
        "DELETE FROM CustomerLocation_groups WHERE customer = ? AND customerGroup = ?", customerPk,
        pk);
}

Result<std::vector<std::int64_t>> CustomerLocationGroup::fileKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT file FROM File_customerGroups WHERE customerGroup = ? ORDER BY file", pk);
}

Status CustomerLocationGroup::addFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(
        context, "File",
        "INSERT OR IGNORE INTO File_customerGroups (file, customerGroup) VALUES (?, ?)", filePk,
        pk);
}

Status CustomerLocationGroup::removeFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "DELETE FROM File_customerGroups WHERE file = ? AND customerGroup = ?",
                             filePk, pk);
}

Status CustomerLocationGroup::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity, "INSERT INTO CustomerLocationGroup (cmsID, name) VALUES (?, ?)",
            cmsID, name);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE CustomerLocationGroup SET cmsID = ?, name = ? WHERE pk = ?",
                             cmsID, name, pk);
}

Status CustomerLocationGroup::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM CustomerLocationGroup WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
