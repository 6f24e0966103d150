#pragma once
// One product line of a lead report: which product, and what was promised for it (flags get,
// send, info, create, date) with a free notice. Lines refer to their report by contact_id (the
// report's `id`), not by a relationship; contact_id 0 marks a line of a form never saved.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct Contact_Product {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> contact_id;
    std::optional<std::int64_t> product_id;
    bool get = false;
    bool send = false;
    bool info = false;
    bool create = false;
    std::optional<std::string> notice;
    bool date = false;  // an appointment was promised

    static Result<std::optional<Contact_Product>> find(StoreContext& context, std::int64_t pk);
    // The lines of the report with that number: "contact_id == %d".
    static Result<std::vector<Contact_Product>> productsOfContact(StoreContext& context,
                                                                  std::int64_t contactID);
    // The line for that report and product, or none: "contact_id == %@ && product_id == %@".
    static Result<std::optional<Contact_Product>> findLine(StoreContext& context,
                                                           std::int64_t contactID,
                                                           std::int64_t productID);
    // Deletes every line of the report with that number (0: lines of forms never saved).
    static Status deleteLinesOfContact(StoreContext& context, std::int64_t contactID);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
