#include "store/Businesscard.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Businesscard";

Businesscard readBusinesscard(Statement& row) {
    Businesscard image;
    image.pk = row.integer(0);
    if (!row.isNull(1)) {
        image.data = row.blob(1);
    }
    image.synced = row.boolean(2);
    image.contactKey = row.optionalInteger(3);
    return image;
}

}  // namespace

Result<std::optional<Businesscard>> Businesscard::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Businesscard>(
        context, "SELECT pk, data, synced, contact FROM Businesscard WHERE pk = ?",
        readBusinesscard, pk);
}

Result<std::vector<Businesscard>> Businesscard::businesscardsOfContact(StoreContext& context,
                                                                       std::int64_t contactPk) {
    return EntityRows::all<Businesscard>(
        context, "SELECT pk, data, synced, contact FROM Businesscard WHERE contact = ? ORDER BY pk",
        readBusinesscard, contactPk);
}

Status Businesscard::update(StoreContext& context) {
    // Written by hand rather than through EntityRows: the image goes in as a blob, not text.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    auto prepared = context.database().prepare(
        pk == 0 ? "INSERT INTO Businesscard (data, synced, contact) VALUES (?, ?, ?)"
                : "UPDATE Businesscard SET data = ?, synced = ?, contact = ? WHERE pk = ?");
    if (!prepared.ok()) {
        return prepared.error();
    }
    Statement& statement = *prepared.value();
    if (data) {
        statement.bindBlob(1, *data);
    } else {
        statement.bindNull(1);
    }
    statement.bind(2, synced).bind(3, contactKey);
    if (pk != 0) {
        statement.bind(4, pk);
    }
    Status ran = statement.run();
    statement.reset();
    if (!ran.ok()) {
        return ran;
    }
    if (pk == 0) {
        pk = context.database().lastInsertRowId();
    }
    context.noteChanged(kEntity);
    return {};
}

Status Businesscard::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM Businesscard WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
