#pragma once
// The rows of the two image entities of a lead report (business cards and photos): the same
// columns in two tables. Internal to the store; included by Businesscard.cpp and Photo.cpp only.

#include <string>

#include "store/EntityRows.h"

namespace pagewell::ContactImageRows {

template <class T>
T read(Statement& row) {
    T image;
    image.pk = row.integer(0);
    if (!row.isNull(1)) {
        image.data = row.blob(1);
    }
    image.synced = row.boolean(2);
    image.contactKey = row.optionalInteger(3);
    return image;
}

template <class T>
Result<std::optional<T>> find(StoreContext& context, const std::string& table, std::int64_t pk) {
    return EntityRows::first<T>(
        context, "SELECT pk, data, synced, contact FROM " + table + " WHERE pk = ?", read<T>, pk);
}

template <class T>
Result<std::vector<T>> ofContact(StoreContext& context, const std::string& table,
                                 std::int64_t contactPk) {
    return EntityRows::all<T>(
        context,
        "SELECT pk, data, synced, contact FROM " + table + " WHERE contact = ? ORDER BY pk",
        read<T>, contactPk);
}

// Written by hand rather than through EntityRows: the image goes in as a blob, not text.
template <class T>
Status update(StoreContext& context, const std::string& table, T& image) {
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    auto prepared = context.database().prepare(
        image.pk == 0 ? "INSERT INTO " + table + " (data, synced, contact) VALUES (?, ?, ?)"
                      : "UPDATE " + table + " SET data = ?, synced = ?, contact = ? WHERE pk = ?");
    if (!prepared.ok()) {
        return prepared.error();
    }
    Statement& statement = *prepared.value();
    if (image.data) {
        statement.bindBlob(1, *image.data);
    } else {
        statement.bindNull(1);
    }
    statement.bind(2, image.synced).bind(3, image.contactKey);
    if (image.pk != 0) {
        statement.bind(4, image.pk);
    }
    Status ran = statement.run();
    statement.reset();
    if (!ran.ok()) {
        return ran;
    }
    if (image.pk == 0) {
        image.pk = context.database().lastInsertRowId();
    }
    context.noteChanged(table);
    return {};
}

template <class T>
Status deleteRecord(StoreContext& context, const std::string& table, T& image) {
    Status deleted =
        EntityRows::write(context, table, "DELETE FROM " + table + " WHERE pk = ?", image.pk);
    if (deleted.ok()) {
        image.pk = 0;
    }
    return deleted;
}

}  // namespace pagewell::ContactImageRows
