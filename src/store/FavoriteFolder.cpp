#include "store/FavoriteFolder.h"

#include <nlohmann/json.hpp>

#include "store/EntityRows.h"
#include "store/FavoriteFolderRelation.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "FavoriteFolder";

#define FOLDER_COLUMNS "pk, cmsID, title, synced, pretendDeletion, user, locale"

FavoriteFolder readFolder(Statement& row) {
    FavoriteFolder folder;
    folder.pk = row.integer(0);
    folder.cmsID = row.optionalInteger(1);
    folder.title = row.optionalText(2);
    folder.synced = row.boolean(3);
    folder.pretendDeletion = row.boolean(4);
    folder.userKey = row.optionalInteger(5);
    folder.localeKey = row.optionalInteger(6);
    return folder;
}

}  // namespace

Result<std::optional<FavoriteFolder>> FavoriteFolder::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<FavoriteFolder>(
        context, "SELECT " FOLDER_COLUMNS " FROM FavoriteFolder WHERE pk = ?", readFolder, pk);
}

Result<std::optional<FavoriteFolder>> FavoriteFolder::findWithID(StoreContext& context,
                                                                 std::int64_t cmsID) {
    return EntityRows::first<FavoriteFolder>(
        context, "SELECT " FOLDER_COLUMNS " FROM FavoriteFolder WHERE cmsID = ? ORDER BY pk",
        readFolder, cmsID);
}

Result<std::vector<FavoriteFolder>> FavoriteFolder::visibleFolders(StoreContext& context,
                                                                   std::int64_t userPk,
                                                                   std::int64_t localePk) {
    // user = %@ AND locale = %@ AND pretendDeletion = 0, sorted by title
    return EntityRows::all<FavoriteFolder>(context,
                                           "SELECT " FOLDER_COLUMNS
                                           " FROM FavoriteFolder WHERE user = ? AND locale = ?"
                                           " AND IFNULL(pretendDeletion, 0) = 0 ORDER BY title, pk",
                                           readFolder, userPk, localePk);
}

Result<std::vector<FavoriteFolder>> FavoriteFolder::foldersToSend(
    StoreContext& context, std::int64_t userPk, std::int64_t localePk,
    std::optional<std::int64_t> cmsID) {
    // user = %@ AND locale = %@ AND (synced = 0 OR cmsID = %@), sorted by title; "cmsID = nil"
    // matches folders without one, hence IS.
    return EntityRows::all<FavoriteFolder>(
        context,
        "SELECT " FOLDER_COLUMNS
        " FROM FavoriteFolder WHERE user = ? AND locale = ?"
        " AND (IFNULL(synced, 0) = 0 OR cmsID IS ?) ORDER BY title, pk",
        readFolder, userPk, localePk, cmsID);
}

Status FavoriteFolder::deleteAllExcept(StoreContext& context,
                                       const std::vector<std::int64_t>& cmsIDs) {
    Status deleted = EntityRows::write(
        context, kEntity,
        "DELETE FROM FavoriteFolder WHERE cmsID NOT IN (SELECT value FROM json_each(?))",
        nlohmann::json(cmsIDs).dump());
    if (deleted.ok()) {
        context.noteChanged("FavoriteFolderRelation");
    }
    return deleted;
}

Result<std::vector<FavoriteFolderRelation>> FavoriteFolder::fileRelations(
    StoreContext& context) const {
    return FavoriteFolderRelation::relationsOfFolder(context, pk);
}

Status FavoriteFolder::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO FavoriteFolder (cmsID, title, synced, pretendDeletion, user, locale) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            cmsID, title, synced, pretendDeletion, userKey, localeKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE FavoriteFolder SET cmsID = ?, title = ?, synced = ?, "
                             "pretendDeletion = ?, user = ?, locale = ? WHERE pk = ?",
                             cmsID, title, synced, pretendDeletion, userKey, localeKey, pk);
}

Status FavoriteFolder::deleteRecord(StoreContext& context) {
    Status deleted =
        EntityRows::write(context, kEntity, "DELETE FROM FavoriteFolder WHERE pk = ?", pk);
    if (deleted.ok()) {
        context.noteChanged("FavoriteFolderRelation");
        pk = 0;
    }
    return deleted;
}

}  // namespace pagewell
