#pragma once
// A user's named folder of favourites in one locale. A folder deleted on the device is only
// marked (pretendDeletion) until the server has been told; `synced` says whether the server
// knows the current state, and a folder without cmsID has never reached the server.
// A plain value; its operations run in the store context they are given.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;
struct FavoriteFolderRelation;

struct FavoriteFolder {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    std::optional<std::string> title;
    bool synced = false;
    bool pretendDeletion = false;
    std::optional<std::int64_t> userKey;    // User.favoriteFolders (to-one here)
    std::optional<std::int64_t> localeKey;  // Locale.favoriteFolders (to-one here)

    static Result<std::optional<FavoriteFolder>> find(StoreContext& context, std::int64_t pk);
    // The first (oldest) folder with that server identifier, or none.
    static Result<std::optional<FavoriteFolder>> findWithID(StoreContext& context,
                                                            std::int64_t cmsID);

    // The folders shown: "user = %@ AND locale = %@ AND pretendDeletion = 0", by title.
    static Result<std::vector<FavoriteFolder>> visibleFolders(StoreContext& context,
                                                              std::int64_t userPk,
                                                              std::int64_t localePk);
    // The folders whose state the server does not know yet:
    // "user = %@ AND locale = %@ AND (synced = 0 OR cmsID = %@)", by title. The sync passes
    // none as cmsID, which also takes folders that never reached the server.
    static Result<std::vector<FavoriteFolder>> foldersToSend(StoreContext& context,
                                                             std::int64_t userPk,
                                                             std::int64_t localePk,
                                                             std::optional<std::int64_t> cmsID);
    // Deletes every folder whose cmsID is not in the list (the server's full list was read);
    // their relations go with them. Folders that never reached the server have no cmsID and
    // stay.
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    // Every relation of the folder, marked ones included.
    Result<std::vector<FavoriteFolderRelation>> fileRelations(StoreContext& context) const;

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save.
    Status update(StoreContext& context);
    // The row; its file relations go with it.
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
