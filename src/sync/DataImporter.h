#pragma once
// The catalogue importer: turns the server's answers into store records. The endpoint
// operations reach it through CatalogueImporting; the start-up sequence registers the one
// process-wide instance:
//
//   auto importer = std::make_shared<DataImporter>(timestampManager);
//   DataImporter::setShared(importer);
//   EndpointDelegates::shared().setImporter(importer);
//
// Every answer is applied in one transaction on a private store context (ImportTransaction):
// its shape is checked before the first write, and any failure rolls the whole answer back,
// so a failed answer leaves the store as it was. A member returns only after its transaction
// has committed; the caller advances the answer's change timestamp after that.
//
// Which removal form an answer gets depends on the change timestamp the request was sent
// with: "0" (or no timestamp manager) means the answer was a full list. An answer that would
// remove most of the user's files is held back unless the MassRemovalGuard admits it (see
// there): it then fails with CatalogueImporting::kHeldBackCode and changes nothing.
//
// Threading: every CatalogueImporting member except saveStore() may be called from any
// background thread, concurrently. Category list imports are serialised by the process-wide
// importer lock (importerLock()); other imports serialise on the store's writer lock through
// their transactions. saveStore() belongs to the main thread.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/CatalogueImporting.h"
#include "platform/Error.h"

namespace pagewell {

class MassRemovalGuard;
class TimestampManager;

class DataImporter : public CatalogueImporting {
  public:
    // `timestamps` (may be empty: every answer counts as a full one) tells the timestamps the
    // requests were sent with. `guard` (empty: the process-wide MassRemovalGuard) judges the
    // removals of the category list, of the file lists and of the change list's deletions.
    explicit DataImporter(std::shared_ptr<TimestampManager> timestamps = nullptr,
                          std::shared_ptr<MassRemovalGuard> guard = nullptr);

    Status importLocalesWithJSON(const nlohmann::json& json) override;
    Status importCategoriesWithJSON(const nlohmann::json& json,
                                    const std::string& localeID) override;
    Status insertFilesWithJSON(const nlohmann::json& json, std::int64_t categoryID) override;
    Status importFilesWithJSON(const nlohmann::json& json) override;
    Status importImprintWithJSON(const nlohmann::json& json) override;
    Status importBeaconListWithJSON(const nlohmann::json& json) override;
    Status importCustomerListWithJSON(const nlohmann::json& json) override;
    Status importCustomerGroupListWithJSON(const nlohmann::json& json) override;
    Status importQRCodesListWithJSON(const nlohmann::json& json) override;
    Status importFavoriteFoldersWithJSON(const nlohmann::json& json) override;
    Status importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json& json) override;

    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs) override;
    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& categoryIDs,
                                   const std::string& localeID) override;
    Result<std::vector<std::int64_t>> categoryIDsOfLocale(const std::string& localeID) override;
    Status removeFilesOfProximityEntry(ProximityKind kind, std::int64_t entryID) override;
    Status saveStore() override;

    // The process-wide importer lock: held for the whole of a category list import.
    static std::mutex& importerLock();

    // The process-wide instance (none until the start-up sequence or a test sets one).
    static std::shared_ptr<DataImporter> shared();
    static void setShared(std::shared_ptr<DataImporter> importer);

    static constexpr const char* kNotADictionaryMessage = "Expected an dictionary! Was <{}>";
    static constexpr const char* kMissingLocaleMessage =
        "Something went wrong... Locale with ID '{}' does not exist";
    static constexpr const char* kImportFinishedMessage = "import finished";
    static constexpr const char* kMissingLocaleItemsMessage =
        "Something went wrong... There should be locale items in json";
    static constexpr const char* kSkippedItemMessage = "Skipping list item without text id: {}";
    static constexpr const char* kSelfLinkMessage = "Category {} cannot be its own child or parent";

  private:
    std::string categoryListTimestamp() const;
    MassRemovalGuard* removalGuard() const;

    std::shared_ptr<TimestampManager> timestamps_;  // set once; TimestampManager is thread-safe
    std::shared_ptr<MassRemovalGuard> guard_;       // set once; the guard is thread-safe
};

}  // namespace pagewell
