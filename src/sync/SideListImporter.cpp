#include "sync/SideListImporter.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/Logger.h"
#include "store/Beacon.h"
#include "store/CurrentSelection.h"
#include "store/CustomerLocation.h"
#include "store/CustomerLocationGroup.h"
#include "store/FavoriteFolder.h"
#include "store/FavoriteFolderRelation.h"
#include "store/File.h"
#include "store/Imprint.h"
#include "store/JsonNumber.h"
#include "store/QRCode.h"
#include "sync/ImportJson.h"
#include "sync/ImportTransaction.h"

namespace pagewell {

namespace {

using ItemImport =
    std::function<Status(StoreContext&, const nlohmann::json& item, std::int64_t id)>;

// The common frame of the lists: "items" must be an array; each item needs a text "id"; after
// the items, `finish` runs with the IDs the list named (the deletion of the others).
Status importItems(
    const char* list, const nlohmann::json& json, const ItemImport& importItem,
    const std::function<Status(StoreContext&, const std::vector<std::int64_t>&)>& finish) {
    if (!ImportJson::at(json, "items").is_array()) {
        PW_LOG_ERROR("{} ({})", SideListImporter::kNoItemsMessage, list);
        return Error::make(kAppErrorDomain, -1, SideListImporter::kNoItemsMessage);
    }
    return ImportTransaction::run([&](StoreContext& context) -> Status {
        context.noteChanged(list);
        std::vector<std::int64_t> ids;
        for (const auto& item : json.at("items")) {
            auto id = ImportJson::itemID(item);
            if (!id) {
                PW_LOG_WARNING(SideListImporter::kSkippedItemMessage, list, "\"id\"");
                continue;
            }
            ids.push_back(*id);
            if (Status imported = importItem(context, item, *id); !imported.ok()) {
                return imported;
            }
        }
        return finish ? finish(context, ids) : Status{};
    });
}

bool present(const nlohmann::json& object, const char* key) {
    return !ImportJson::at(object, key).is_null();
}

std::optional<std::int64_t> beaconNumber(const nlohmann::json& item, const char* key) {
    const nlohmann::json& value = ImportJson::at(item, key);
    if (value.is_string() && value.get_ref<const std::string&>().empty()) {
        return std::nullopt;
    }
    return JsonNumber::integer(value);
}

}  // namespace

Status SideListImporter::importImprintWithJSON(const nlohmann::json& json) {
    std::optional<std::int64_t> id = ImportJson::itemID(json);
    if (!id) {
        id =
            ImportJson::at(json, "id").is_number() ? JsonNumber::integer(json, "id") : std::nullopt;
    }
    const nlohmann::json& text = ImportJson::at(json, "text");
    if (!id || !text.is_string()) {
        Error error = Error::make(kImprintErrorDomain, kImprintErrorCode, kImprintMissingMessage);
        PW_LOG_ERROR_VALUE(error);
        return error;
    }
    auto locale = CurrentSelection::localeKey();
    if (!locale) {
        return Error::make(kAppErrorDomain, -1, "No current locale for the imprint");
    }
    return ImportTransaction::run([&](StoreContext& context) -> Status {
        context.noteChanged("Imprint");
        auto previous = Imprint::imprintOfLocale(context, *locale);
        if (!previous.ok()) {
            return previous.error();
        }
        if (previous.value()) {
            if (Status deleted = previous.value()->deleteRecord(context); !deleted.ok()) {
                return deleted;
            }
        }
        auto imprint = Imprint::findOrCreate(context, *id);
        if (!imprint.ok()) {
            return imprint.error();
        }
        imprint.value().text = text.get<std::string>();
        imprint.value().localeKey = *locale;
        return imprint.value().update(context);
    });
}

Status SideListImporter::importBeaconListWithJSON(const nlohmann::json& json) {
    return importItems(
        "Beacon", json,
        [](StoreContext& context, const nlohmann::json& item, std::int64_t id) -> Status {
            auto uuid = JsonNumber::text(item, "uuid");
            if (!uuid) {
                PW_LOG_WARNING(kSkippedItemMessage, "Beacon", "\"uuid\"");
                return {};
            }
            std::transform(uuid->begin(), uuid->end(), uuid->begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            auto beacon = Beacon::createBeaconWithID(context, id, uuid, beaconNumber(item, "major"),
                                                     beaconNumber(item, "minor"),
                                                     JsonNumber::text(item, "name"));
            return beacon.ok() ? Status{} : Status(beacon.error());
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return Beacon::deleteAllExcept(context, ids);
        });
}

Status SideListImporter::importCustomerListWithJSON(const nlohmann::json& json) {
    return importItems(
        "CustomerLocation", json,
        [](StoreContext& context, const nlohmann::json& item, std::int64_t id) -> Status {
            auto customer = CustomerLocation::findOrCreate(context, id);
            if (!customer.ok()) {
                return customer.error();
            }
            customer.value().latitude = JsonNumber::text(item, "lat");
            customer.value().longitude = JsonNumber::text(item, "lng");
            customer.value().name = JsonNumber::text(item, "name");
            if (Status written = customer.value().update(context); !written.ok()) {
                return written;
            }
            PW_LOG_DEBUG(kImportedCustomerMessage, id);
            return {};
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return CustomerLocation::deleteAllExcept(context, ids);
        });
}

Status SideListImporter::importCustomerGroupListWithJSON(const nlohmann::json& json) {
    return importItems(
        "CustomerLocationGroup", json,
        [](StoreContext& context, const nlohmann::json& item, std::int64_t id) -> Status {
            auto group = CustomerLocationGroup::findOrCreate(context, id);
            if (!group.ok()) {
                return group.error();
            }
            group.value().name = JsonNumber::text(item, "name");
            if (Status written = group.value().update(context); !written.ok()) {
                return written;
            }
            for (std::int64_t customerID : ImportJson::textIDList(item, "customer_ids")) {
                auto customer = CustomerLocation::findWithID(context, customerID);
                if (!customer.ok()) {
                    return customer.error();
                }
                if (!customer.value()) {
                    PW_LOG_ERROR(kMissingCustomerMessage, customerID);
                    continue;
                }
                if (Status added = group.value().addCustomer(context, customer.value()->pk);
                    !added.ok()) {
                    return added;
                }
            }
            return {};
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return CustomerLocationGroup::deleteAllExcept(context, ids);
        });
}

Status SideListImporter::importQRCodesListWithJSON(const nlohmann::json& json) {
    return importItems(
        "QRCode", json,
        [](StoreContext& context, const nlohmann::json& item, std::int64_t id) -> Status {
            auto code = QRCode::findOrCreate(context, id);
            if (!code.ok()) {
                return code.error();
            }
            code.value().name = JsonNumber::text(item, "name");
            code.value().text = JsonNumber::text(item, "url");
            return code.value().update(context);
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return QRCode::deleteAllExcept(context, ids);
        });
}

Status SideListImporter::importFavoriteFoldersWithJSON(const nlohmann::json& json) {
    auto user = CurrentSelection::userKey();
    auto locale = CurrentSelection::localeKey();
    return importItems(
        "FavoriteFolder", json,
        [user, locale](StoreContext& context, const nlohmann::json& item,
                       std::int64_t id) -> Status {
            if (!present(item, "name")) {
                PW_LOG_WARNING(kSkippedItemMessage, "FavoriteFolder", "\"name\"");
                return {};
            }
            auto found = FavoriteFolder::findWithID(context, id);
            if (!found.ok()) {
                return found.error();
            }
            FavoriteFolder folder = found.value().value_or(FavoriteFolder{});
            folder.cmsID = id;
            folder.synced = true;
            folder.localeKey = locale;
            folder.userKey = user;
            folder.title = JsonNumber::text(item, "name");
            return folder.update(context);
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return FavoriteFolder::deleteAllExcept(context, ids);
        });
}

Status SideListImporter::importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json& json) {
    auto user = CurrentSelection::userKey();
    return importItems(
        "FavoriteFolderRelation", json,
        [user](StoreContext& context, const nlohmann::json& item, std::int64_t id) -> Status {
            auto folderID = JsonNumber::integer(item, "folder_id");
            auto folder = folderID ? FavoriteFolder::findWithID(context, *folderID)
                                   : Result<std::optional<FavoriteFolder>>(std::nullopt);
            if (!folder.ok()) {
                return folder.error();
            }
            if (!folder.value()) {
                PW_LOG_WARNING(kMissingFolderMessage, folderID.value_or(0));
                return {};
            }
            auto fileID = JsonNumber::integer(item, "file_id");
            auto file = fileID ? File::findWithCmsID(context, *fileID)
                               : Result<std::optional<File>>(std::nullopt);
            if (!file.ok()) {
                return file.error();
            }
            if (!file.value()) {
                PW_LOG_WARNING(kMissingFileMessage, fileID.value_or(0));
                return {};
            }
            auto state = file.value()->addFileStateForUser(context, user);
            if (!state.ok()) {
                return state.error();
            }
            if (!state.value()) {
                return {};
            }
            state.value()->favorite = true;
            if (Status written = state.value()->update(context); !written.ok()) {
                return written;
            }
            auto existing = FavoriteFolderRelation::relationForFileState(context, state.value()->pk,
                                                                         folder.value()->pk);
            if (!existing.ok()) {
                return existing.error();
            }
            FavoriteFolderRelation relation = existing.value().value_or(FavoriteFolderRelation{});
            relation.folderKey = folder.value()->pk;
            relation.fileStateKey = state.value()->pk;
            relation.cmsID = id;
            relation.synced = true;
            return relation.update(context);
        },
        [](StoreContext& context, const std::vector<std::int64_t>& ids) {
            return FavoriteFolderRelation::deleteAllExcept(context, ids);
        });
}

}  // namespace pagewell
