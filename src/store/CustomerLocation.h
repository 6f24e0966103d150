#pragma once
// A customer site that selects files: one record per server identifier, with the server's
// latitude and longitude texts (decimal degrees), and its customer groups. A plain value; its
// operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;
struct CustomerLocationGroup;

struct CustomerLocation {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> name;
    std::optional<std::string> latitude;
    std::optional<std::string> longitude;

    static Result<std::optional<CustomerLocation>> find(StoreContext& context, std::int64_t pk);
    // The customer with that server identifier, or none.
    static Result<std::optional<CustomerLocation>> findWithID(StoreContext& context,
                                                              std::int64_t cmsID);
    // The customer with that server identifier, created (with only cmsID set) when absent.
    // Inside the context's write transaction; the caller saves.
    static Result<CustomerLocation> findOrCreate(StoreContext& context, std::int64_t cmsID);
    static Result<std::vector<CustomerLocation>> all(StoreContext& context);
    // Deletes every customer whose cmsID is not in the list (the server's full list was read).
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    // Row keys of the files this customer selects; adding twice keeps one link.
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Status addFile(StoreContext& context, std::int64_t filePk) const;
    Status removeFile(StoreContext& context, std::int64_t filePk) const;

    // The groups this customer belongs to (counterpart of CustomerLocationGroup::customers).
    Result<std::vector<CustomerLocationGroup>> groups(StoreContext& context) const;
    Status addGroup(StoreContext& context, std::int64_t groupPk) const;
    Status removeGroup(StoreContext& context, std::int64_t groupPk) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its links to files and groups go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
