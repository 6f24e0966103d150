#include "store/Photo.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Photo";

Photo readPhoto(Statement& row) {
    Photo image;
    image.pk = row.integer(0);
    if (!row.isNull(1)) {
        image.data = row.blob(1);
    }
    image.synced = row.boolean(2);
    image.contactKey = row.optionalInteger(3);
    return image;
}

}  // namespace

Result<std::optional<Photo>> Photo::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Photo>(
        context, "SELECT pk, data, synced, contact FROM Photo WHERE pk = ?", readPhoto, pk);
}

Result<std::vector<Photo>> Photo::photosOfContact(StoreContext& context, std::int64_t contactPk) {
    return EntityRows::all<Photo>(
        context, "SELECT pk, data, synced, contact FROM Photo WHERE contact = ? ORDER BY pk",
        readPhoto, contactPk);
}

Status Photo::update(StoreContext& context) {
    // Written by hand rather than through EntityRows: the image goes in as a blob, not text.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    auto prepared = context.database().prepare(
        pk == 0 ? "INSERT INTO Photo (data, synced, contact) VALUES (?, ?, ?)"
                : "UPDATE Photo SET data = ?, synced = ?, contact = ? WHERE pk = ?");
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

Status Photo::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Photo WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
