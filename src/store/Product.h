#pragma once
// A product that a lead report can ask about, from the server's list; `id` is the server's
// identifier, `active` whether it is offered. A plain value; its operations run in the store
// context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Product {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> id;
    std::optional<std::string> name;
    bool active = false;

    static Result<std::optional<Product>> find(StoreContext& context, std::int64_t pk);
    // The first (oldest) record with that server identifier, or none.
    static Result<std::optional<Product>> findWithID(StoreContext& context, std::int64_t id);
    static Result<std::vector<Product>> all(StoreContext& context);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
