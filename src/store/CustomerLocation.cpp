#include "store/CustomerLocation.h"

#include <nlohmann/json.hpp>

#include "store/CustomerLocationGroup.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "CustomerLocation";

#define CUSTOMER_COLUMNS                                                   \
    "CustomerLocation.pk, CustomerLocation.cmsID, CustomerLocation.name, " \
    "CustomerLocation.latitude, CustomerLocation.longitude"

CustomerLocation readCustomer(Statement& row) {
    CustomerLocation customer;
    customer.pk = row.integer(0);
    customer.cmsID = row.optionalInteger(1);
    customer.name = row.optionalText(2);
    customer.latitude = row.optionalText(3);
    customer.longitude = row.optionalText(4);
    return customer;
}

}  // namespace

Result<std::optional<CustomerLocation>> CustomerLocation::find(StoreContext& context,
                                                               std::int64_t pk) {
    return EntityRows::first<CustomerLocation>(
        context, "SELECT " CUSTOMER_COLUMNS " FROM CustomerLocation WHERE pk = ?", readCustomer,
        pk);
}

Result<std::optional<CustomerLocation>> CustomerLocation::findWithID(StoreContext& context,
                                                                     std::int64_t cmsID) {
    return EntityRows::first<CustomerLocation>(
        context, "SELECT " CUSTOMER_COLUMNS " FROM CustomerLocation WHERE cmsID = ?", readCustomer,
        cmsID);
}

Result<CustomerLocation> CustomerLocation::findOrCreate(StoreContext& context, std::int64_t cmsID) {
    // The write transaction (taken before the look-up) keeps other contexts from adding the
    // same customer in between; the identity index backs it up.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = findWithID(context, cmsID);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    CustomerLocation customer;
    customer.cmsID = cmsID;
    if (Status inserted = customer.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return customer;
}

Result<std::vector<CustomerLocation>> CustomerLocation::all(StoreContext& context) {
    return EntityRows::all<CustomerLocation>(
        context, "SELECT " CUSTOMER_COLUMNS " FROM CustomerLocation ORDER BY pk", readCustomer);
}

Status CustomerLocation::deleteAllExcept(StoreContext& context,
                                         const std::vector<std::int64_t>& cmsIDs) {
    return EntityRows::write(
        context, kEntity,
        "DELETE FROM CustomerLocation WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
}

Result<std::vector<std::int64_t>> CustomerLocation::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context,
                            "SELECT file FROM File_customers WHERE customer = ? ORDER BY file", pk);
}

Status CustomerLocation::addFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "INSERT OR IGNORE INTO File_customers (file, customer) VALUES (?, ?)",
                             filePk, pk);
}

Status CustomerLocation::removeFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(
        context, "File", "DELETE FROM File_customers WHERE file = ? AND customer = ?", filePk, pk);
}

Result<std::vector<CustomerLocationGroup>> CustomerLocation::groups(StoreContext& context) const {
    return EntityRows::records<CustomerLocationGroup>(
        context,
        "SELECT customerGroup FROM CustomerLocation_groups "
        "WHERE customer = ? ORDER BY customerGroup",
        pk);
}

Status CustomerLocation::addGroup(StoreContext& context, std::int64_t groupPk) const {
    return EntityRows::write(
        context, "CustomerLocationGroup",
        "INSERT OR IGNORE INTO CustomerLocation_groups (customer, customerGroup) VALUES (?, ?)", pk,
        groupPk);
}

Status CustomerLocation::removeGroup(StoreContext& context, std::int64_t groupPk) const {
    return EntityRows::write(
        context, "CustomerLocationGroup",
        "DELETE FROM CustomerLocation_groups WHERE customer = ? AND customerGroup = ?", pk,
        groupPk);
}

Status CustomerLocation::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO CustomerLocation (cmsID, name, latitude, longitude) VALUES (?, ?, ?, ?)",
            cmsID, name, latitude, longitude);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE CustomerLocation SET cmsID = ?, name = ?, latitude = ?, "
                             "longitude = ? WHERE pk = ?",
                             cmsID, name, latitude, longitude, pk);
}

Status CustomerLocation::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM CustomerLocation WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
