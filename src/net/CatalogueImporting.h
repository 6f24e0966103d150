#pragma once
// What the endpoint operations hand their answers to: the catalogue importer and the few store
// changes the operations themselves ask for. The request layer only fetches; turning answers into
// store records is the importer's business, so the operations reach it through this interface
// and the importer registers itself once (EndpointDelegates).
//
// Threading: every member is called on a background worker (never on the main queue) and may
// run concurrently with other members; an implementation takes its own locks and store
// contexts. A member returns once its store work has committed, so a caller that advances a
// change timestamp afterwards never records an import that did not happen.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

// The proximity entries whose file lists the server answers.
enum class ProximityKind { Beacon, Customer, CustomerGroup, QRCode };

class CatalogueImporting {
  public:
    virtual ~CatalogueImporting() = default;

    // The language list ({"items": [...]}).
    virtual Status importLocalesWithJSON(const nlohmann::json& json) = 0;
    // The category list of the language with server identifier `localeID` (decimal text).
    virtual Status importCategoriesWithJSON(const nlohmann::json& json,
                                            const std::string& localeID) = 0;
    // The file list of one category; category -1 is the highlight list.
    virtual Status insertFilesWithJSON(const nlohmann::json& json, std::int64_t categoryID) = 0;
    // A file list that belongs to no category (search answers, proximity file lists).
    virtual Status importFilesWithJSON(const nlohmann::json& json) = 0;
    // The imprint object of the current language.
    virtual Status importImprintWithJSON(const nlohmann::json& json) = 0;

    // The side lists. Each receives the whole answer, whose "items" has already been checked to
    // be present.
    virtual Status importBeaconListWithJSON(const nlohmann::json& json) = 0;
    virtual Status importCustomerListWithJSON(const nlohmann::json& json) = 0;
    virtual Status importCustomerGroupListWithJSON(const nlohmann::json& json) = 0;
    virtual Status importQRCodesListWithJSON(const nlohmann::json& json) = 0;
    virtual Status importFavoriteFoldersWithJSON(const nlohmann::json& json) = 0;
    virtual Status importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json& json) = 0;

    // Store changes the change-list request applies before it reports: deletes every category
    // with one of `categoryIDs` in any language, or only in the language `localeID`.
    virtual Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs) = 0;
    virtual Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs,
                                           const std::string& localeID) = 0;
    // Server identifiers of the categories of the language `localeID` that the signed-in user
    // holds (all of them when nobody is signed in).
    virtual Result<std::vector<std::int64_t>> categoryIDsOfLocale(const std::string& localeID) = 0;
    // Unlinks every file from the proximity entry with server identifier `entryID` and saves,
    // before the entry's new file list is imported.
    virtual Status removeFilesOfProximityEntry(ProximityKind kind, std::int64_t entryID) = 0;
    // Saves the main store context to the persistent store (the end of a catalogue sync).
    // Unlike the members above it is called on the main queue, which owns the main context.
    virtual Status saveStore() = 0;

    // An importer may hold an answer back instead of applying it (a removal the user has to
    // confirm first): it then fails with this code in kAppErrorDomain, having written nothing.
    // Callers hand such an error on as it is, not replaced by their generic import error, so
    // that whoever started the synchronisation can tell it from a failure.
    static constexpr int kHeldBackCode = -20;
};

}  // namespace pagewell
