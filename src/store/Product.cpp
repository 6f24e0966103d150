#include "store/Product.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Product";

Product readProduct(Statement& row) {
    Product record;
    record.pk = row.integer(0);
    record.id = row.optionalInteger(1);
    record.name = row.optionalText(2);
    record.active = row.boolean(3);
    return record;
}

}  // namespace

Result<std::optional<Product>> Product::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Product>(
        context, "SELECT pk, id, name, active FROM Product WHERE pk = ?", readProduct, pk);
}

Result<std::optional<Product>> Product::findWithID(StoreContext& context, std::int64_t id) {
    return EntityRows::first<Product>(
        context, "SELECT pk, id, name, active FROM Product WHERE id = ? ORDER BY pk", readProduct,
        id);
}

Result<std::vector<Product>> Product::all(StoreContext& context) {
    return EntityRows::all<Product>(context, "SELECT pk, id, name, active FROM Product ORDER BY pk",
                                    readProduct);
}

Status Product::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity, "INSERT INTO Product (id, name, active) VALUES (?, ?, ?)", id, name,
            active);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Product SET id = ?, name = ?, active = ? WHERE pk = ?", id,
                             name, active, pk);
}

Status Product::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Product WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
