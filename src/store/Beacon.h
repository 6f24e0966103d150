#pragma once
// A Bluetooth proximity beacon that selects files: one record per server identifier, matched
// against ranged beacons by (uuid, major, minor). A plain value; its operations run in the
// store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Beacon {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> uuid;  // the proximity UUID in text form
    std::optional<std::int64_t> major;
    std::optional<std::int64_t> minor;
    std::optional<std::string> name;

    static Result<std::optional<Beacon>> find(StoreContext& context, std::int64_t pk);

    // Finds the beacon with that server identifier or creates it, then sets uuid, major, minor
    // and name. Look-up and creation happen under the beacon lock inside the context's write
    // transaction; the caller saves.
    static Result<Beacon> createBeaconWithID(StoreContext& context, std::int64_t cmsID,
                                             std::optional<std::string> uuid,
                                             std::optional<std::int64_t> major,
                                             std::optional<std::int64_t> minor,
                                             std::optional<std::string> name);

    // The stored beacon that best answers a ranged one: the first of
    // "uuid = %@ AND major = %@ AND minor = %@", else "uuid = %@ AND major = %@", else
    // "uuid = %@"; none when all three find nothing. "First" is the oldest record.
    static Result<std::optional<Beacon>> bestMatchingBeaconWithUUID(StoreContext& context,
                                                                    const std::string& uuid,
                                                                    std::int64_t major,
                                                                    std::int64_t minor);

    // Deletes every beacon whose cmsID is not in the list (the server's full list was read).
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    // Row keys of the files this beacon selects; adding twice keeps one link.
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Status addFile(StoreContext& context, std::int64_t filePk) const;
    Status removeFile(StoreContext& context, std::int64_t filePk) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its links to files go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
