#include "store/Businesscard.h"

#include "store/ContactImageRows.h"

namespace pagewell {

namespace {
// Table names are fixed text, never values: the SQL stays free of anything a user typed.
const std::string kTable = "Businesscard";
}  // namespace

Result<std::optional<Businesscard>> Businesscard::find(StoreContext& context, std::int64_t pk) {
    return ContactImageRows::find<Businesscard>(context, kTable, pk);
}

Result<std::vector<Businesscard>> Businesscard::businesscardsOfContact(StoreContext& context,
                                                                       std::int64_t contactPk) {
    return ContactImageRows::ofContact<Businesscard>(context, kTable, contactPk);
}

Status Businesscard::update(StoreContext& context) {
    return ContactImageRows::update(context, kTable, *this);
}

Status Businesscard::deleteRecord(StoreContext& context) {
    return ContactImageRows::deleteRecord(context, kTable, *this);
}

}  // namespace pagewell
