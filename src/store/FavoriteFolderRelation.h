#pragma once
// Membership of one file state (a user's view of a file) in one favourite folder; at most one
// per (file state, folder). Sync flags as for folders. A plain value; its operations run in
// the store context they are given.

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

struct FavoriteFolderRelation {
    std::int64_t pk = 0;  // 0 until stored
    std::optional<std::int64_t> cmsID;
    bool synced = false;
    bool pretendDeletion = false;
    std::optional<std::int64_t> folderKey;     // FavoriteFolder.fileRelations (to-one here)
    std::optional<std::int64_t> fileStateKey;  // FileState.folderRelations (to-one here)

    static Result<std::optional<FavoriteFolderRelation>> find(StoreContext& context,
                                                              std::int64_t pk);
    // "fileState == %@ AND folder == %@": the relation of that state and folder, or none.
    static Result<std::optional<FavoriteFolderRelation>> relationForFileState(
        StoreContext& context, std::int64_t fileStatePk, std::int64_t folderPk);
    static Result<std::vector<FavoriteFolderRelation>> relationsOfFolder(StoreContext& context,
                                                                         std::int64_t folderPk);
    static Result<std::vector<FavoriteFolderRelation>> relationsOfFileState(
        StoreContext& context, std::int64_t fileStatePk);

    // The relations whose changes the server has not seen, in the user's folders of the
    // locale: "synced == 0 AND folder.user == %@ AND folder.locale == %@". Relations without
    // a folder never match.
    static Result<std::vector<FavoriteFolderRelation>> relationsToSend(StoreContext& context,
                                                                       std::int64_t userPk,
                                                                       std::int64_t localePk);
    // Deletes every relation whose cmsID is not in the list (the server's full list was read).
    // Relations that never reached the server have no cmsID and stay.
    static Status deleteAllExcept(StoreContext& context, const std::vector<std::int64_t>& cmsIDs);

    // Inserts (pk == 0, then sets pk) or writes every attribute; does not save. A second
    // relation for the same (file state, folder) is refused by the store.
    Status update(StoreContext& context);
    Status deleteRecord(StoreContext& context);
};

}  // namespace pagewell
