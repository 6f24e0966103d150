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

// The identifier the server gave a created folder or relation; when the answer carries none,
// the failure is logged with `subject` and reported to `error`.
std::optional<std::int64_t> createdID(const Json& answer, const std::string& subject,
                                      const FavoriteRequests::ErrorCallback& error) {
    auto id = RequestRunner::integerOf(answer, "id");
    if (!RequestRunner::succeeded(answer) || !id) {
        PW_LOG_ERROR(FavoriteRequests::kLogCreateFolderFailed, subject);
        PW_LOG_ERROR(FavoriteRequests::kLogGotResponse, RequestRunner::describe(answer));
        error(createFailed());
        return std::nullopt;
    }
    return id;
}

// Stores the identifier the server gave the created `record` and marks it synced.
template <typename Record>
void storeCreated(const Json& answer, const std::string& subject, Record record,
                  const FavoriteRequests::Done& completion,
                  const FavoriteRequests::ErrorCallback& error) {
    auto id = createdID(answer, subject, error);
    if (!id) {
        return;
    }
    record.cmsID = id;
    record.synced = true;
    RequestRunner::report(RequestRunner::saveInMainContext(
                              [&record](StoreContext& context) { return record.update(context); }),
                          completion, error);
}

// A change request whose answer carries nothing to read.
InterfaceManager::RawRequest changeRequest(std::string method, std::string path) {
    InterfaceManager::RawRequest request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.acceptedContentTypes = {};
    request.decodeJson = false;
    return request;
}

// Sends `request` and hands its "items" list to `import` in the background; an answer without
// the list is the no-folders error.
void importItems(InterfaceManager& manager, InterfaceManager::RawRequest request,
                 std::shared_ptr<CatalogueImporting> importer,
                 std::function<Status(CatalogueImporting&, const Json&)> import,
                 FavoriteRequests::Done completion, FavoriteRequests::ErrorCallback error) {
    manager.send(
        std::move(request),
        [importer, import = std::move(import), completion,
         error](const InterfaceManager::RawResponse& response) {
            const Json answer = response.json.value_or(Json());
            if (!RequestRunner::hasList(answer, "items")) {
                RequestRunner::fail(error, noFolders());
                return;
            }
            RequestRunner::inBackground(
                [importer, import, answer] { return import(*importer, answer); },
                [completion, error](const Status& status) {
                    RequestRunner::report(status, completion, error);
                });
        },
        RequestRunner::plainError(error));
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
                [folder, title, completion, error](const Json& answer) {
                    storeCreated(answer, title, folder, completion, error);
                },
                error, std::move(options));
        },
        completion, error);
}

void FavoriteRequests::getFavoriteFolders(Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    InterfaceManager* manager = &runner_.manager();
    runner_.withLocale(
        [manager, importer, completion, error](const std::string& localeID) {
            InterfaceManager::RawRequest request;
            request.path = RequestRunner::withQuery(
                manager->pathForRestMethod("folders", "favorite"), "locale", localeID);
            importItems(
                *manager, std::move(request), importer,
                [](CatalogueImporting& into, const Json& answer) {
                    return into.importFavoriteFoldersWithJSON(answer);
                },
                completion, error);
        },
        completion, error);
}

void FavoriteRequests::updateFavoriteFolder(FavoriteFolder folder, Done completion,
                                            ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request =
        changeRequest("PUT", manager.pathForRestMethod("folders", "favorite"));
    request.jsonBody = Json{{"id", folder.cmsID ? Json(*folder.cmsID) : Json()},
                            {"name", folder.title.value_or("")}};
    manager.send(
        std::move(request),
        [folder, completion, error](const InterfaceManager::RawResponse&) mutable {
            folder.synced = true;
            RequestRunner::report(
                RequestRunner::saveInMainContext(
                    [&folder](StoreContext& context) { return folder.update(context); }),
                completion, error);
        },
        RequestRunner::plainError(error));
}

void FavoriteRequests::deleteFavoriteFolder(const FavoriteFolder& folder, Done completion,
                                            ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    manager.send(
        changeRequest("DELETE", RequestRunner::withQuery(
                                    manager.pathForRestMethod("folders", "favorite"), "id",
                                    folder.cmsID ? std::to_string(*folder.cmsID) : "")),
        [completion](const InterfaceManager::RawResponse&) { completion(); },
        RequestRunner::plainError(error));
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
        [relation = *relation, folderID, completion, error](const Json& answer) {
            storeCreated(answer, std::to_string(folderID), relation, completion, error);
        },
        error, std::move(options));
}

void FavoriteRequests::importFavoriteRelations(Done completion, ErrorCallback error) {
    if (refused(error)) {
        return;
    }
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.path = manager.pathForRestMethod("files", "favorite");
    importItems(
        manager, std::move(request), importer,
        [](CatalogueImporting& into, const Json& answer) {
            return into.importFavoriteFoldersFileRelationsWithJSON(answer);
        },
        std::move(completion), std::move(error));
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
    manager.send(
        changeRequest("DELETE", RequestRunner::withQuery(
                                    RequestRunner::withQuery(
                                        manager.pathForRestMethod("files", "favorite"), "folder_id",
                                        std::to_string(ids.value().folderID)),
                                    "file_id", std::to_string(ids.value().fileID))),
        [relation = *relation, completion, error](const InterfaceManager::RawResponse&) mutable {
            RequestRunner::report(
                RequestRunner::saveInMainContext(
                    [&relation](StoreContext& context) { return relation.deleteRecord(context); }),
                completion, error);
        },
        RequestRunner::plainError(error));
}

}  // namespace pagewell
