#include "store/Representation.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Representation";

Representation readRepresentation(Statement& row) {
    Representation record;
    record.pk = row.integer(0);
    record.id = row.optionalInteger(1);
    record.name = row.optionalText(2);
    record.active = row.boolean(3);
    return record;
}

}  // namespace

Result<std::optional<Representation>> Representation::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Representation>(
        context, "SELECT pk, id, name, active FROM Representation WHERE pk = ?", readRepresentation,
        pk);
}

Result<std::optional<Representation>> Representation::findWithID(StoreContext& context,
                                                                 std::int64_t id) {
    return EntityRows::first<Representation>(
        context, "SELECT pk, id, name, active FROM Representation WHERE id = ? ORDER BY pk",
        readRepresentation, id);
}

Result<std::vector<Representation>> Representation::all(StoreContext& context) {
    return EntityRows::all<Representation>(
        context, "SELECT pk, id, name, active FROM Representation ORDER BY pk", readRepresentation);
}

Status Representation::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity, "INSERT INTO Representation (id, name, active) VALUES (?, ?, ?)", id,
            name, active);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Representation SET id = ?, name = ?, active = ? WHERE pk = ?",
                             id, name, active, pk);
}

Status Representation::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM Representation WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
