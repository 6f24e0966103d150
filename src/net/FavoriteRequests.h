#pragma once
// Favourite folders and the files in them, kept on the server. Every operation first refuses
// with "FavoriteSync" 100 when "EnableFavoriteSync" is off, and with "Unreachable" 100 in offline
// mode; nothing is sent then. Store changes after a success are made in the store's main
// context and saved before the completion runs.
//
// Threading: a FavoriteRequests is a thin handle used on the main thread; callbacks run on the
// main queue, exactly one per call.

#include <functional>
#include <optional>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"
#include "store/FavoriteFolder.h"
#include "store/FavoriteFolderRelation.h"

namespace pagewell {

class FavoriteRequests {
  public:
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;

    explicit FavoriteRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                              EndpointDelegates& delegates = EndpointDelegates::shared());

    // POST favorite/folders (framed) {"name", "locale_id"}: "success" true gives the folder its
    // "id" and marks it synced; otherwise "FavFolder" 100 kCreateFolderFailed.
    void createFavoriteFolderWithFolder(FavoriteFolder folder, Done completion,
                                        ErrorCallback error);
    // GET favorite/folders&locale=L: "items" → importFavoriteFoldersWithJSON; without
    // "items" "FavFolder" -1 kNoFolders.
    void getFavoriteFolders(Done completion, ErrorCallback error);
    // PUT favorite/folders {"id", "name"}: success marks the folder synced.
    void updateFavoriteFolder(FavoriteFolder folder, Done completion, ErrorCallback error);
    // DELETE favorite/folders&id=ID.
    void deleteFavoriteFolder(const FavoriteFolder& folder, Done completion, ErrorCallback error);
    // POST favorite/files (framed) {"folder_id", "file_id"}: "success" true gives the relation
    // its "id" and marks it synced; otherwise "FavFolder" 100 kCreateFolderFailed. A missing
    // relation, or one whose folder or file has no server identifier, is refused with
    // "FavoriteRelation" -1 before anything is sent.
    void createFavoriteRelation(std::optional<FavoriteFolderRelation> relation, Done completion,
                                ErrorCallback error);
    // GET favorite/files: "items" → importFavoriteFoldersFileRelationsWithJSON.
    void importFavoriteRelations(Done completion, ErrorCallback error);
    // DELETE favorite/files&folder_id=F&file_id=D: success deletes the relation record.
    void deleteFavoriteRelation(std::optional<FavoriteFolderRelation> relation, Done completion,
                                ErrorCallback error);

    static constexpr const char* kFavoriteSyncDisabled = "Favorite sync is disabled";
    static constexpr const char* kCreateFolderFailed = "Creating favorite folder failed";
    static constexpr const char* kNoFolders = "No favorite folders found.";
    static constexpr const char* kRelationMissing = "Relation cannot be nil";
    static constexpr const char* kRelationWithoutID = "cmsID cannot be nil";
    static constexpr const char* kLogCreateFolderFailed =
        "Creating favorite folder failed for folder: {}";
    static constexpr const char* kLogGotResponse = "Got response: {}";

  private:
    // The refusals every operation starts with; true when `error` has been answered.
    bool refused(const ErrorCallback& error) const;

    RequestRunner runner_;
};

}  // namespace pagewell
