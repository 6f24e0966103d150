#pragma once
// A catalogue importer that knows only the language list, registered at start while no full
// catalogue importer is registered, so that the language step after login works on its own.
// Every other list fails with kNotHandled and changes nothing. Registering the full importer
// replaces it.
//
// Threading: as CatalogueImporting (any background worker); each call takes a private store
// context of its own.

#include "net/CatalogueImporting.h"

namespace pagewell {

class LocaleListImporter final : public CatalogueImporting {
  public:
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

    static constexpr int kNotHandled = -2;
    static constexpr const char* kNotHandledDescription =
        "The catalogue importer is not available.";
};

}  // namespace pagewell
