#include "net/FavoriteRequests.h"

#include <string>

#include "app/AppSettings.h"
#include "platform/Logger.h"
#include "store/File.h"
#include "store/FileState.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

using Json = nlohmann::json;

Error storeMissing() {
    return Error::make(PersistentStore::kErrorDomain, -1, "The store is not open.");
}

// Runs `change` in the main context and saves; a failure is rolled back.
Status saveInMainContext(const std::function<Status(StoreContext&)>& change) {
    auto store = PersistentStore::shared();
    if (!store) {
        return storeMissing();
    }
    StoreContext& context = store->mainContext();
    Status status = change(context);
    if (status.ok()) {
        status = context.save();
    }
    if (!status.ok()) {
        context.rollback();
    }
    return status;
}

// Reports the outcome of a store change to the caller.
void finish(const Status& status, const FavoriteRequests::Done& completion,
            const FavoriteRequests::ErrorCallback& error) {
    if (!status.ok()) {
        PW_LOG_ERROR_VALUE(status.error());
        error(status.error());
        return;
    }
    completion();
}

Error relationError(const char* text) {
    return Error::make(InterfaceManager::kFavoriteRelationErrorDomain, -1, text);
}

struct RelationIDs {
    std::int64_t folderID = 0;
    std::int64_t fileID = 0;
};

// The server identifiers of the relation's folder and file, read in the main context.
Result<RelationIDs> relationIDs(const std::optional<FavoriteFolderRelation>& relation) {
    if (!relation) {
        return relationError(FavoriteRequests::kRelationMissing);
    }
    auto store = PersistentStore::shared();
    if (!store) {
        return storeMissing();
    }
    StoreContext& context = store->mainContext();
    std::optional<std::int64_t> folderID;
    std::optional<std::int64_t> fileID;
    if (relation->folderKey) {
        auto folder = FavoriteFolder::find(context, *relation->folderKey);
        if (!folder.ok()) {
            return folder.error();
        }
        if (folder.value()) {
            folderID = folder.value()->cmsID;
        }
    }
    if (relation->fileStateKey) {
        auto state = FileState::find(context, *relation->fileStateKey);
        if (!state.ok()) {
            return state.error();
        }
        if (state.value() && state.value()->file) {
            auto file = File::find(context, *state.value()->file);
            if (!file.ok()) {
                return file.error();
            }
            if (file.value()) {
                fileID = file.value()->cmsID;
            }
        }
    }
    if (!folderID || !fileID) {
        PW_LOG_ERROR("folder.cmsID: {}", folderID ? std::to_string(*folderID) : "(null)");
        PW_LOG_ERROR("filestate.file.cmsID: {}", fileID ? std::to_string(*fileID) : "(null)");
        return relationError(FavoriteRequests::kRelationWithoutID);
    }
    return RelationIDs{*folderID, *fileID};
}

Error createFailed() {
    return Error::make(InterfaceManager::kFavFolderErrorDomain, 100,
                       FavoriteRequests::kCreateFolderFailed);
}

Error noFolders() {
    return Error::make(InterfaceManager::kFavFolderErrorDomain, -1, FavoriteRequests::kNoFolders);
}

InterfaceManager::RawErrorCallback plainError(FavoriteRequests::ErrorCallback error) {
    return [error = std::move(error)](const Error& failure, const InterfaceManager::RawResponse&) {
        error(failure);
    };
}

}  // namespace

FavoriteRequests::FavoriteRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

bool FavoriteRequests::refused(const ErrorCallback& error) const {
    if (!AppSettings::enableFavoriteSync()) {
        RequestRunner::fail(error, Error::make(InterfaceManager::kFavoriteSyncErrorDomain, 100,
                                               kFavoriteSyncDisabled));
        return true;
    }
    return runner_.refusedOffline(error);
}

void FavoriteRequests::createFavoriteFolderWithFolder(FavoriteFolder folder, Done completion,
                                                      ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    InterfaceManager* manager = &runner_.manager();
    runner_.withLocale(
        [manager, folder, completion, error](const std::string& localeID) {
            const std::string title = folder.title.value_or("");
            InterfaceManager::RequestOptions options;
            options.postData = Json{{"name", title}, {"locale_id", localeID}};
            manager->sendRequest(
                manager->pathForRestMethod("folders", "favorite"),
                [folder, title, completion, error](const Json& answer) mutable {
                    auto id = RequestRunner::integerOf(answer, "id");
                    if (!RequestRunner::succeeded(answer) || !id) {
                        PW_LOG_ERROR(kLogCreateFolderFailed, title);
                        PW_LOG_ERROR(kLogGotResponse, RequestRunner::describe(answer));
                        error(createFailed());
                        return;
                    }
                    folder.cmsID = id;
                    folder.synced = true;
                    finish(saveInMainContext(
                               [&folder](StoreContext& context) { return folder.update(context); }),
                           completion, error);
                },
                error, std::move(options));
        },
        completion, error);
}

void FavoriteRequests::getFavoriteFolders(Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto importer = runner_.delegates().importer();
    if (!importer) {
        RequestRunner::fail(error, EndpointDelegates::missing("catalogue importer"));
        return;
    }
    InterfaceManager* manager = &runner_.manager();
    runner_.withLocale(
        [manager, importer, completion, error](const std::string& localeID) {
            InterfaceManager::RawRequest request;
            request.path = RequestRunner::withQuery(
                manager->pathForRestMethod("folders", "favorite"), "locale", localeID);
            manager->send(
                std::move(request),
                [importer, completion, error](const InterfaceManager::RawResponse& response) {
                    const Json answer = response.json.value_or(Json());
                    if (!RequestRunner::hasList(answer, "items")) {
                        RequestRunner::fail(error, noFolders());
                        return;
                    }
                    RequestRunner::inBackground(
                        [importer, answer] {
                            return importer->importFavoriteFoldersWithJSON(answer);
                        },
                        [completion, error](const Status& status) {
                            finish(status, completion, error);
                        });
                },
                plainError(error));
        },
        completion, error);
}

void FavoriteRequests::updateFavoriteFolder(FavoriteFolder folder, Done completion,
                                            ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.method = "PUT";
    request.path = manager.pathForRestMethod("folders", "favorite");
    request.jsonBody = Json{{"id", folder.cmsID ? Json(*folder.cmsID) : Json()},
                            {"name", folder.title.value_or("")}};
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    manager.send(
        std::move(request),
        [folder, completion, error](const InterfaceManager::RawResponse&) mutable {
            folder.synced = true;
            finish(saveInMainContext(
                       [&folder](StoreContext& context) { return folder.update(context); }),
                   completion, error);
        },
        plainError(error));
}

void FavoriteRequests::deleteFavoriteFolder(const FavoriteFolder& folder, Done completion,
                                            ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.method = "DELETE";
    request.path = RequestRunner::withQuery(manager.pathForRestMethod("folders", "favorite"), "id",
                                            folder.cmsID ? std::to_string(*folder.cmsID) : "");
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    manager.send(
        std::move(request), [completion](const InterfaceManager::RawResponse&) { completion(); },
        plainError(error));
}

void FavoriteRequests::createFavoriteRelation(std::optional<FavoriteFolderRelation> relation,
                                              Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto ids = relationIDs(relation);
    if (!ids.ok()) {
        RequestRunner::fail(error, ids.error());
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RequestOptions options;
    options.postData = Json{{"folder_id", ids.value().folderID}, {"file_id", ids.value().fileID}};
    const std::int64_t folderID = ids.value().folderID;
    manager.sendRequest(
        manager.pathForRestMethod("files", "favorite"),
        [relation = *relation, folderID, completion, error](const Json& answer) mutable {
            auto id = RequestRunner::integerOf(answer, "id");
            if (!RequestRunner::succeeded(answer) || !id) {
                PW_LOG_ERROR(kLogCreateFolderFailed, folderID);
                PW_LOG_ERROR(kLogGotResponse, RequestRunner::describe(answer));
                error(createFailed());
                return;
            }
            relation.cmsID = id;
            relation.synced = true;
            finish(saveInMainContext(
                       [&relation](StoreContext& context) { return relation.update(context); }),
                   completion, error);
        },
        error, std::move(options));
}

void FavoriteRequests::importFavoriteRelations(Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto importer = runner_.delegates().importer();
    if (!importer) {
        RequestRunner::fail(error, EndpointDelegates::missing("catalogue importer"));
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.path = manager.pathForRestMethod("files", "favorite");
    manager.send(
        std::move(request),
        [importer, completion, error](const InterfaceManager::RawResponse& response) {
            const Json answer = response.json.value_or(Json());
            if (!RequestRunner::hasList(answer, "items")) {
                RequestRunner::fail(error, noFolders());
                return;
            }
            RequestRunner::inBackground(
                [importer, answer] {
                    return importer->importFavoriteFoldersFileRelationsWithJSON(answer);
                },
                [completion, error](const Status& status) { finish(status, completion, error); });
        },
        plainError(error));
}

void FavoriteRequests::deleteFavoriteRelation(std::optional<FavoriteFolderRelation> relation,
                                              Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto ids = relationIDs(relation);
    if (!ids.ok()) {
        RequestRunner::fail(error, ids.error());
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.method = "DELETE";
    request.path = RequestRunner::withQuery(
        RequestRunner::withQuery(manager.pathForRestMethod("files", "favorite"), "folder_id",
                                 std::to_string(ids.value().folderID)),
        "file_id", std::to_string(ids.value().fileID));
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    manager.send(
        std::move(request),
        [relation = *relation, completion, error](const InterfaceManager::RawResponse&) mutable {
            finish(saveInMainContext([&relation](StoreContext& context) {
                       return relation.deleteRecord(context);
                   }),
                   completion, error);
        },
        plainError(error));
}

}  // namespace pagewell
