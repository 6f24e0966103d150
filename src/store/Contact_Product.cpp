#include "store/Contact_Product.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Contact_Product";

// "get" and "create" are SQL words, hence quoted.
#define LINE_COLUMNS "pk, contact_id, product_id, \"get\", send, info, \"create\", notice, date"

Contact_Product readLine(Statement& row) {
    Contact_Product line;
    line.pk = row.integer(0);
    line.contact_id = row.optionalInteger(1);
    line.product_id = row.optionalInteger(2);
    line.get = row.boolean(3);
    line.send = row.boolean(4);
    line.info = row.boolean(5);
    line.create = row.boolean(6);
    line.notice = row.optionalText(7);
    line.date = row.boolean(8);
    return line;
}

}  // namespace

Result<std::optional<Contact_Product>> Contact_Product::find(StoreContext& context,
                                                             std::int64_t pk) {
    return EntityRows::first<Contact_Product>(
        context, "SELECT " LINE_COLUMNS " FROM Contact_Product WHERE pk = ?", readLine, pk);
}

Result<std::vector<Contact_Product>> Contact_Product::productsOfContact(StoreContext& context,
                                                                        std::int64_t contactID) {
    return EntityRows::all<Contact_Product>(
        context, "SELECT " LINE_COLUMNS " FROM Contact_Product WHERE contact_id = ? ORDER BY pk",
        readLine, contactID);
}

Result<std::optional<Contact_Product>> Contact_Product::findLine(StoreContext& context,
                                                                 std::int64_t contactID,
                                                                 std::int64_t productID) {
    return EntityRows::first<Contact_Product>(
        context,
        "SELECT " LINE_COLUMNS
        " FROM Contact_Product WHERE contact_id = ? AND product_id = ? ORDER BY pk",
        readLine, contactID, productID);
}

Status Contact_Product::deleteLinesOfContact(StoreContext& context, std::int64_t contactID) {
    return EntityRows::write(context, kEntity, "DELETE FROM Contact_Product WHERE contact_id = ?",
                             contactID);
}

Status Contact_Product::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Contact_Product (contact_id, product_id, \"get\", send, info, "
            "\"create\", notice, date) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            contact_id, product_id, get, send, info, create, notice, date);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Contact_Product SET contact_id = ?, product_id = ?, "
                             "\"get\" = ?, send = ?, info = ?, \"create\" = ?, notice = ?, "
                             "date = ? WHERE pk = ?",
                             contact_id, product_id, get, send, info, create, notice, date, pk);
}

Status Contact_Product::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM Contact_Product WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
