#pragma once
// A named group of customer sites that selects files: one record per server identifier.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;
struct CustomerLocation;

struct CustomerLocationGroup {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> name;

    static Result<std::optional<CustomerLocationGroup>> find(StoreContext& context,
                                                             std::int64_t pk);
    // The group with that server identifier, created (with only cmsID set) when absent.
    // Inside the context's write transaction; the caller saves.
    static Result<CustomerLocationGroup> findOrCreate(StoreContext& context, std::int64_t cmsID);
    // Deletes every group whose cmsID is not in the list (the server's full list was read).
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    Result<std::vector<CustomerLocation>> customers(StoreContext& context) const;
    Status addCustomer(StoreContext& context, std::int64_t customerPk) const;
    Status removeCustomer(StoreContext& context, std::int64_t customerPk) const;

    // Row keys of the files this group selects; adding twice keeps one link.
    Result<std::vector<std::int64_t>> fileKeys(StoreContext& context) const;
    Status addFile(StoreContext& context, std::int64_t filePk) const;
    Status removeFile(StoreContext& context, std::int64_t filePk) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its links to files and customers go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
