#pragma once
// Turns the server's language list into Locale records: find-or-create by server identifier,
// the attributes of each entry, and the users assigned to each language. The catalogue importer
// calls importLocalesWithJSON for the answer of "locale" / "list".
//
// Threading: stateless; the operations run on the thread that owns the context passed in
// (the importer's background context). Find-or-create takes the process-wide Locale lock.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "store/Locale.h"
#include "store/StoreContext.h"

namespace pagewell {

class LocaleImporter {
  public:
    // Sets `cmsID` from "id" (a number or decimal text), `title`, `iso_full`, `iso5` and `iso2`
    // from the keys of the same names, adds the user (none: the signed-in user) to `users` and
    // writes the record (not saved). A null object logs "Properties cannot be nil", one without
    // a usable "id" logs "Locale needs a valid ID"; both fail and change nothing.
    static Status setProperties(StoreContext& context, Locale& locale,
                                const nlohmann::json& properties,
                                std::optional<std::int64_t> userKey = std::nullopt);

    // Imports the answer {"items": [...]} for the user (none: the signed-in user) in one save:
    // each entry is found or created by its "id" and gets its properties; the user is taken off
    // every language the answer no longer lists, so an answer without languages leaves the
    // user with none. Entries that fail are logged and skipped. Returns the imported languages
    // in answer order. An answer without an "items" list fails without change.
    static Result<std::vector<Locale>> importLocalesWithJSON(
        StoreContext& context, const nlohmann::json& answer,
        std::optional<std::int64_t> userKey = std::nullopt);

    // The server identifier of an entry's "id" (number or decimal text); none when unusable.
    static std::optional<std::int64_t> identifier(const nlohmann::json& value);

    static constexpr const char* kNilProperties = "Properties cannot be nil";
    static constexpr const char* kNoValidID = "Locale needs a valid ID";
    static constexpr const char* kNoItems = "The language list has no items.";
};

}  // namespace pagewell
