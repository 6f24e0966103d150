#include "store/Imprint.h"

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Imprint";

#define IMPRINT_COLUMNS "pk, cmsID, text, locale"

Imprint readImprint(Statement& row) {
    Imprint imprint;
    imprint.pk = row.integer(0);
    imprint.cmsID = row.optionalInteger(1);
    imprint.text = row.optionalText(2);
    imprint.localeKey = row.optionalInteger(3);
    return imprint;
}

}  // namespace

Result<std::optional<Imprint>> Imprint::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Imprint>(
        context, "SELECT " IMPRINT_COLUMNS " FROM Imprint WHERE pk = ?", readImprint, pk);
}

Result<Imprint> Imprint::findOrCreate(StoreContext& context, std::int64_t cmsID) {
    // The write transaction (taken before the look-up) keeps other contexts from adding the
    // same imprint in between; the identity index backs it up.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = EntityRows::first<Imprint>(
        context, "SELECT " IMPRINT_COLUMNS " FROM Imprint WHERE cmsID = ?", readImprint, cmsID);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    Imprint imprint;
    imprint.cmsID = cmsID;
    if (Status inserted = imprint.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return imprint;
}

Result<std::optional<Imprint>> Imprint::imprintOfLocale(StoreContext& context,
                                                        std::int64_t localePk) {
    return EntityRows::first<Imprint>(
        context, "SELECT " IMPRINT_COLUMNS " FROM Imprint WHERE locale = ? ORDER BY pk",
        readImprint, localePk);
}

Status Imprint::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity, "INSERT INTO Imprint (cmsID, text, locale) VALUES (?, ?, ?)", cmsID,
            text, localeKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Imprint SET cmsID = ?, text = ?, locale = ? WHERE pk = ?",
                             cmsID, text, localeKey, pk);
}

Status Imprint::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Imprint WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
