#include "store/Beacon.h"

#include <nlohmann/json.hpp>

#include <mutex>

#include "store/EntityLocks.h"
#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "Beacon";

#define BEACON_COLUMNS "pk, cmsID, uuid, major, minor, name"

Beacon readBeacon(Statement& row) {
    Beacon beacon;
    beacon.pk = row.integer(0);
    beacon.cmsID = row.optionalInteger(1);
    beacon.uuid = row.optionalText(2);
    beacon.major = row.optionalInteger(3);
    beacon.minor = row.optionalInteger(4);
    beacon.name = row.optionalText(5);
    return beacon;
}

}  // namespace

Result<std::optional<Beacon>> Beacon::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<Beacon>(context, "SELECT " BEACON_COLUMNS " FROM Beacon WHERE pk = ?",
                                     readBeacon, pk);
}

Result<Beacon> Beacon::createBeaconWithID(StoreContext& context, std::int64_t cmsID,
                                          std::optional<std::string> uuid,
                                          std::optional<std::int64_t> major,
                                          std::optional<std::int64_t> minor,
                                          std::optional<std::string> name) {
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::Beacon));
    // The look-up runs inside the write transaction, so it sees every saved beacon and no
    // other context can add one before this one is stored.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    auto existing = EntityRows::first<Beacon>(
        context, "SELECT " BEACON_COLUMNS " FROM Beacon WHERE cmsID = ?", readBeacon, cmsID);
    if (!existing.ok()) {
        return existing.error();
    }
    Beacon beacon = existing.value().value_or(Beacon{});
    beacon.cmsID = cmsID;
    beacon.uuid = std::move(uuid);
    beacon.major = major;
    beacon.minor = minor;
    beacon.name = std::move(name);
    if (Status written = beacon.update(context); !written.ok()) {
        return written.error();
    }
    return beacon;
}

Result<std::optional<Beacon>> Beacon::bestMatchingBeaconWithUUID(StoreContext& context,
                                                                 const std::string& uuid,
                                                                 std::int64_t major,
                                                                 std::int64_t minor) {
    // uuid = %@ AND major = %@ AND minor = %@
    auto exact = EntityRows::first<Beacon>(context,
                                           "SELECT " BEACON_COLUMNS
                                           " FROM Beacon WHERE uuid = ? AND major = ? AND "
                                           "minor = ? ORDER BY pk",
                                           readBeacon, uuid, major, minor);
    if (!exact.ok() || exact.value()) {
        return exact;
    }
    // uuid = %@ AND major = %@
    auto sameMajor = EntityRows::first<Beacon>(
        context, "SELECT " BEACON_COLUMNS " FROM Beacon WHERE uuid = ? AND major = ? ORDER BY pk",
        readBeacon, uuid, major);
    if (!sameMajor.ok() || sameMajor.value()) {
        return sameMajor;
    }
    // uuid = %@
    return EntityRows::first<Beacon>(
        context, "SELECT " BEACON_COLUMNS " FROM Beacon WHERE uuid = ? ORDER BY pk", readBeacon,
        uuid);
}

Status Beacon::deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs) {
    return EntityRows::write(
        context, kEntity, "DELETE FROM Beacon WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
}

Result<std::vector<std::int64_t>> Beacon::fileKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT file FROM File_beacons WHERE beacon = ? ORDER BY file",
                            pk);
}

Status Beacon::addFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "INSERT OR IGNORE INTO File_beacons (file, beacon) VALUES (?, ?)",
                             filePk, pk);
}

Status Beacon::removeFile(StoreContext& context, std::int64_t filePk) const {
    return EntityRows::write(context, "File",
                             "DELETE FROM File_beacons WHERE file = ? AND beacon = ?", filePk, pk);
}

Status Beacon::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO Beacon (cmsID, uuid, major, minor, name) VALUES (?, ?, ?, ?, ?)", cmsID,
            uuid, major, minor, name);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE Beacon SET cmsID = ?, uuid = ?, major = ?, minor = ?, "
                             "name = ? WHERE pk = ?",
                             cmsID, uuid, major, minor, name, pk);
}

Status Beacon::deleteRecord(StoreContext& context) {
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM Beacon WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
