#pragma once
// The side lists of the catalogue: imprint, beacons, customers, customer groups, QR codes,
// favourite folders and their file relations. Each list is a full list: records it no longer
// names are deleted. Each answer is applied in one transaction, its shape ("items" an array)
// checked before the first write; items without a usable identifier are skipped with a log
// line. Customers must be imported before the groups that name them, and all proximity lists
// before the file lists that link to them.
//
// Threading: stateless; any background thread (each call uses its own private context).

#include <nlohmann/json_fwd.hpp>

#include "platform/Error.h"

namespace pagewell {

class SideListImporter {
  public:
    // {"id", "text"} of the current locale; fails with kImprintErrorDomain / -404 when either
    // is missing or null, leaving the previous imprint in place.
    static Status importImprintWithJSON(const nlohmann::json& json);
    static Status importBeaconListWithJSON(const nlohmann::json& json);
    static Status importCustomerListWithJSON(const nlohmann::json& json);
    static Status importCustomerGroupListWithJSON(const nlohmann::json& json);
    static Status importQRCodesListWithJSON(const nlohmann::json& json);
    static Status importFavoriteFoldersWithJSON(const nlohmann::json& json);
    static Status importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json& json);

    static constexpr const char* kImprintErrorDomain = "VX";
    static constexpr int kImprintErrorCode = -404;
    static constexpr const char* kImprintMissingMessage = "cmsID or text are missing";
    static constexpr const char* kNoItemsMessage = "Side list without an \"items\" array";
    static constexpr const char* kImportedCustomerMessage = "imported customer with id: {}";
    static constexpr const char* kMissingCustomerMessage =
        "CRITICAL ERROR! Customer with id {} should exist!";
    static constexpr const char* kMissingFolderMessage =
        "favorite folder with id '{}' does not exist";
    static constexpr const char* kMissingFileMessage = "file with id '{}' does not exist";
    static constexpr const char* kSkippedItemMessage = "Skipping {} item without {}";
};

}  // namespace pagewell
