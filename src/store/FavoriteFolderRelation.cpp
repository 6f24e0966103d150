#include "store/FavoriteFolderRelation.h"

#include <nlohmann/json.hpp>

#include "store/EntityRows.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "FavoriteFolderRelation";

#define RELATION_COLUMNS                                                      \
    "FavoriteFolderRelation.pk, FavoriteFolderRelation.cmsID, "               \
    "FavoriteFolderRelation.synced, FavoriteFolderRelation.pretendDeletion, " \
    "FavoriteFolderRelation.folder, FavoriteFolderRelation.fileState"

FavoriteFolderRelation readRelation(Statement& row) {
    FavoriteFolderRelation relation;
    relation.pk = row.integer(0);
    relation.cmsID = row.optionalInteger(1);
    relation.synced = row.boolean(2);
    relation.pretendDeletion = row.boolean(3);
    relation.folderKey = row.optionalInteger(4);
    relation.fileStateKey = row.optionalInteger(5);
    return relation;
}

}  // namespace

Result<std::optional<FavoriteFolderRelation>> FavoriteFolderRelation::find(StoreContext& context,
                                                                           std::int64_t pk) {
    return EntityRows::first<FavoriteFolderRelation>(
        context, "SELECT " RELATION_COLUMNS " FROM FavoriteFolderRelation WHERE pk = ?",
        readRelation, pk);
}

Result<std::optional<FavoriteFolderRelation>> FavoriteFolderRelation::relationForFileState(
    StoreContext& context, std::int64_t fileStatePk, std::int64_t folderPk) {
    // fileState == %@ AND folder == %@
    return EntityRows::first<FavoriteFolderRelation>(
        context,
        "SELECT " RELATION_COLUMNS
        " FROM FavoriteFolderRelation WHERE fileState = ? AND folder = ? ORDER BY pk",
        readRelation, fileStatePk, folderPk);
}

Result<std::vector<FavoriteFolderRelation>> FavoriteFolderRelation::relationsOfFolder(
    StoreContext& context, std::int64_t folderPk) {
    return EntityRows::all<FavoriteFolderRelation>(
        context,
        "SELECT " RELATION_COLUMNS " FROM FavoriteFolderRelation WHERE folder = ? ORDER BY pk",
        readRelation, folderPk);
}

Result<std::vector<FavoriteFolderRelation>> FavoriteFolderRelation::relationsOfFileState(
    StoreContext& context, std::int64_t fileStatePk) {
    return EntityRows::all<FavoriteFolderRelation>(
        context,
        "SELECT " RELATION_COLUMNS " FROM FavoriteFolderRelation WHERE fileState = ? ORDER BY pk",
        readRelation, fileStatePk);
}

Result<std::vector<FavoriteFolderRelation>> FavoriteFolderRelation::relationsToSend(
    StoreContext& context, std::int64_t userPk, std::int64_t localePk) {
    // synced == 0 AND folder.user == %@ AND folder.locale == %@
    return EntityRows::all<FavoriteFolderRelation>(
        context,
        "SELECT " RELATION_COLUMNS
        " FROM FavoriteFolderRelation"
        " JOIN FavoriteFolder ON FavoriteFolder.pk = FavoriteFolderRelation.folder"
        " WHERE IFNULL(FavoriteFolderRelation.synced, 0) = 0"
        " AND FavoriteFolder.user = ? AND FavoriteFolder.locale = ?"
        " ORDER BY FavoriteFolderRelation.pk",
        readRelation, userPk, localePk);
}

Status FavoriteFolderRelation::deleteAllExcept(StoreContext& context,
                                               const std::vector<std::int64_t>& cmsIDs) {
    return EntityRows::write(
        context, kEntity,
        "DELETE FROM FavoriteFolderRelation WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
}

Status FavoriteFolderRelation::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO FavoriteFolderRelation (cmsID, synced, pretendDeletion, folder, "
            "fileState) VALUES (?, ?, ?, ?, ?)",
            cmsID, synced, pretendDeletion, folderKey, fileStateKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE FavoriteFolderRelation SET cmsID = ?, synced = ?, "
                             "pretendDeletion = ?, folder = ?, fileState = ? WHERE pk = ?",
                             cmsID, synced, pretendDeletion, folderKey, fileStateKey, pk);
}

Status FavoriteFolderRelation::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM FavoriteFolderRelation WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
