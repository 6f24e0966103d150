#pragma once
// One tracked link sent for a link-basket item. `uuid` is also the identifier of the local
// reminder scheduled for the link, so deleting the link withdraws that reminder.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct ShareLink {
    std::int64_t pk = 0;               // 0 until stored
    std::optional<std::string> cmsID;  // the server's identifier is text
    std::optional<std::string> uuid;
    std::optional<std::string> url;
    std::optional<std::string> recipients;
    std::optional<SystemTime> date;
    bool read = false;
    bool synced = false;
    std::optional<std::int64_t> shareFileKey;  // ShareFile.links (to-one here)

    static Result<std::optional<ShareLink>> find(StoreContext& context, std::int64_t pk);
    static Result<std::vector<ShareLink>> linksOfShareFile(StoreContext& context,
                                                           std::int64_t shareFilePk);

    // A new link for the basket item: date = now, uuid = a fresh UUID text; inserted and saved
    // at once. Callers pass the main context.
    static Result<ShareLink> shareLinkWithShareFile(StoreContext& mainContext,
                                                    std::int64_t shareFilePk);

    // Links not yet registered on the server of the items whose file the user holds in the
    // locale:
    // "shareFile.file.users CONTAINS %@ AND shareFile.file.locales CONTAINS %@ AND synced = 0"
    static Result<std::vector<ShareLink>> linksToRegister(StoreContext& context,
                                                          std::int64_t userPk,
                                                          std::int64_t localePk);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // prepareForDeletion, then the row.
    Status deleteRecord(StoreContext& context);
    // Withdraws the pending reminder whose identifier is `uuid`, once the context's open
    // changes commit (at once without a transaction).
    void prepareForDeletion(StoreContext& context) const;

    // Upper-case hexadecimal in the 8-4-4-4-12 form of a random (version 4) UUID.
    static std::string makeUUID();
};

}  // namespace pagewell
