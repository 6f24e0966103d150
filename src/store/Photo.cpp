#include "store/Photo.h"

#include "store/ContactImageRows.h"

namespace pagewell {

namespace {
// Table names are fixed text, never values: the SQL stays free of anything a user typed.
const std::string kTable = "Photo";
}  // namespace

Result<std::optional<Photo>> Photo::find(StoreContext& context, std::int64_t pk) {
    return ContactImageRows::find<Photo>(context, kTable, pk);
}

Result<std::vector<Photo>> Photo::photosOfContact(StoreContext& context, std::int64_t contactPk) {
    return ContactImageRows::ofContact<Photo>(context, kTable, contactPk);
}

Status Photo::update(StoreContext& context) {
    return ContactImageRows::update(context, kTable, *this);
}

Status Photo::deleteRecord(StoreContext& context) {
    return ContactImageRows::deleteRecord(context, kTable, *this);
}

}  // namespace pagewell
