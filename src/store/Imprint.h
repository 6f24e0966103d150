#pragma once
// The legal notice text of a locale: one record per server identifier, tied to its locale.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Imprint {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> text;
    std::optional<std::int64_t> localeKey;  // Locale.imprint (to-one both ways)

    static Result<std::optional<Imprint>> find(StoreContext& context, std::int64_t pk);
    // The imprint with that server identifier, created (with only cmsID set) when absent.
    // Inside the context's write transaction; the caller saves.
    static Result<Imprint> findOrCreate(StoreContext& context, std::int64_t cmsID);
    // The imprint of the locale with that row key, when it has one.
    static Result<std::optional<Imprint>> imprintOfLocale(StoreContext& context,
                                                          std::int64_t localePk);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
