#pragma once
// A photographed document of a lead report (JPEG bytes), uploaded on its own after the report
// is registered. A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Photo {
    std::int64_t pk = 0;              // 0 until stored
    std::optional<std::string> data;  // image bytes
    bool synced = false;
    std::optional<std::int64_t> contactKey;  // Contact (to-one here)

    static Result<std::optional<Photo>> find(StoreContext& context, std::int64_t pk);
    static Result<std::vector<Photo>> photosOfContact(StoreContext& context,
                                                      std::int64_t contactPk);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
