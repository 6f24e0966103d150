#include "store/QRCode.h"

#include <nlohmann/json.hpp>

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "QRCode";

#define QRCODE_COLUMNS "pk, cmsID, name, text"

QRCode readCode(Statement& row) {
    QRCode code;
    code.pk = row.integer(0);
    code.cmsID = row.optionalInteger(1);
    code.name = row.optionalText(2);
    code.text = row.optionalText(3);
    return code;
}

}  // namespace

Result<std::optional<QRCode>> QRCode::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<QRCode>(context, "SELECT " QRCODE_COLUMNS " FROM QRCode WHERE pk = ?",
                                     readCode, pk);
}

Result<QRCode> QRCode::findOrCreate(StoreContext& context, std::int64_t cmsID) {
    // The write transaction (taken before the look-up) keeps other contexts from adding the
    // same code in between; the identity index backs it up.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = EntityRows::first<QRCode>(
        context, "SELECT " QRCODE_COLUMNS " FROM QRCode WHERE cmsID = ?", readCode, cmsID);
    if (!existing.ok()) {
        return existing.error();
    }
    if (existing.value()) {
        return *existing.value();
    }
    QRCode code;
    code.cmsID = cmsID;
    if (Status inserted = code.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return code;
}

Result<std::optional<QRCode>> QRCode::findCodeWithText(StoreContext& context,
                                                       const std::string& scannedText) {
    return EntityRows::first<QRCode>(
        context, "SELECT " QRCODE_COLUMNS " FROM QRCode WHERE text = ? ORDER BY pk", readCode,
        scannedText);
}

Status QRCode::deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs) {
    return EntityRows::write(
        context, kEntity, "DELETE FROM QRCode WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
}

Result<std::vector<std::int64_t>> QRCode::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT file FROM File_qrcodes WHERE qrcode = ? ORDER BY file",
                            pk);
}

Status QRCode::addFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "INSERT OR IGNORE INTO File_qrcodes (file, qrcode) VALUES (?, ?)",
                             filePk, pk);
}

Status QRCode::removeFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "DELETE FROM File_qrcodes WHERE file = ? AND qrcode = ?", filePk, pk);
}

Status QRCode::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity, "INSERT INTO QRCode (cmsID, name, text) VALUES (?, ?, ?)", cmsID,
            name, text);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE QRCode SET cmsID = ?, name = ?, text = ? WHERE pk = ?", cmsID,
                             name, text, pk);
}

Status QRCode::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM QRCode WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
