#include "app/LocaleListImporter.h"

#include "app/LocaleImporter.h"
#include "platform/Logger.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

Error notHandled() {
    return Error::make(kAppErrorDomain, LocaleListImporter::kNotHandled,
                       LocaleListImporter::kNotHandledDescription);
}

}  // namespace

Status LocaleListImporter::importLocalesWithJSON(const nlohmann::json& json) {
    auto store = PersistentStore::shared();
    if (!store) {
        return Error::make(PersistentStore::kErrorDomain, -1, "The store is not open.");
    }
    auto context = store->newPrivateContext();
    if (!context.ok()) {
        return context.error();
    }
    auto imported = LocaleImporter::importLocalesWithJSON(*context.value(), json);
    if (!imported.ok()) {
        return imported.error();
    }
    return {};
}

Status LocaleListImporter::importCategoriesWithJSON(const nlohmann::json&, const std::string&) {
    return notHandled();
}
Status LocaleListImporter::insertFilesWithJSON(const nlohmann::json&, std::int64_t) {
    return notHandled();
}
Status LocaleListImporter::importFilesWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importImprintWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importBeaconListWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importCustomerListWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importCustomerGroupListWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importQRCodesListWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importFavoriteFoldersWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json&) {
    return notHandled();
}
Status LocaleListImporter::deleteCategoriesWithIDs(const std::vector<std::int64_t>&) {
    return notHandled();
}
Status LocaleListImporter::deleteCategoriesWithIDs(const std::vector<std::int64_t>&,
                                                   const std::string&) {
    return notHandled();
}
Result<std::vector<std::int64_t>> LocaleListImporter::categoryIDsOfLocale(const std::string&) {
    return notHandled();
}
Status LocaleListImporter::removeFilesOfProximityEntry(ProximityKind, std::int64_t) {
    return notHandled();
}
Status LocaleListImporter::saveStore() {
    return notHandled();
}

}  // namespace pagewell
