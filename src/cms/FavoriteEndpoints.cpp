#include "cms/FavoriteEndpoints.h"

#include <algorithm>

#include "cms/EndpointSupport.h"
#include "platform/Logger.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

// Refusals decided inside a state change travel out as this error's code and text.
Error refusal(int status, const std::string& message) {
    return Error::make("CmsRequest", status, message);
}

CmsResponse failure(const Error& error) {
    if (error.domain == "CmsRequest") {
        return CmsResponse::error(error.code, error.description);
    }
    PW_LOG_ERROR_VALUE(error);
    return CmsResponse::error(500, "cannot keep the change");
}

bool userHasLocale(const CmsServices& services, int user, int locale) {
    bool has = false;
    services.catalogue.read([&](const Catalogue& catalogue) {
        const CatalogueUser* u = catalogue.user(user);
        has = u != nullptr && catalogue.locale(locale) != nullptr &&
              (!u->locales ||
               std::find(u->locales->begin(), u->locales->end(), locale) != u->locales->end());
    });
    return has;
}

bool userSeesFile(const CmsServices& services, int user, int file) {
    bool sees = false;
    services.catalogue.read([&](const Catalogue& catalogue) {
        const CatalogueFile* f = catalogue.file(file);
        sees = f != nullptr && (!f->users || std::find(f->users->begin(), f->users->end(), user) !=
                                                 f->users->end());
    });
    return sees;
}

json* ownFolder(json& document, int user, int id) {
    for (json& folder : document["favorite_folders"]) {
        if (folder["id"] == id && folder["user"] == user) {
            return &folder;
        }
    }
    return nullptr;
}

std::optional<std::string> folderName(const json& parameters) {
    auto name = parameters.find("name");
    if (name == parameters.end() || !name->is_string()) {
        return std::nullopt;
    }
    const std::string text = *name;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos || text.size() > 1000) {
        return std::nullopt;
    }
    return text;
}

using Handler = std::function<CmsResponse(int user, const json& parameters)>;

// The token check, then the parameters; a malformed body is refused before `handler` runs.
RouteHandler withParameters(const CmsServices& services, Handler handler) {
    return EndpointSupport::framed(
        services, [handler = std::move(handler)](int user, const CmsRequest& request) {
            auto parameters = EndpointSupport::parameters(request);
            if (!parameters.ok()) {
                return EndpointSupport::badRequest(parameters.error().description);
            }
            return handler(user, parameters.value());
        });
}

void addFolderRoutes(RouteTable& routes, const CmsServices& services, const std::string& path) {
    routes.add(
        "POST", path, withParameters(services, [&services](int user, const json& p) {
            auto name = folderName(p);
            auto locale = EndpointSupport::idParameter(p, "locale_id");
            if (!name || !locale) {
                return EndpointSupport::badRequest("expected {\"name\": text, \"locale_id\": id}");
            }
            if (!userHasLocale(services, user, *locale)) {
                return CmsResponse::error(404, "unknown locale");
            }
            int id = 0;
            auto stored = services.state.update([&](json& document) -> Status {
                id = CmsStateStore::takeId(document);
                document["favorite_folders"].push_back(
                    {{"id", id}, {"user", user}, {"locale", *locale}, {"name", *name}});
                return {};
            });
            return stored.ok() ? EndpointSupport::success({{"id", std::to_string(id)}})
                               : failure(stored.error());
        }));
    routes.add("GET", path, withParameters(services, [&services](int user, const json& p) {
                   auto locale = EndpointSupport::idParameter(p, "locale");
                   if (!locale) {
                       return EndpointSupport::badRequest("locale missing");
                   }
                   json items = json::array();
                   services.state.read([&](const json& document) {
                       for (const json& folder : document["favorite_folders"]) {
                           if (folder["user"] == user && folder["locale"] == *locale) {
                               items.push_back({{"id", std::to_string(folder["id"].get<int>())},
                                                {"name", folder["name"]}});
                           }
                       }
                   });
                   return EndpointSupport::success({{"items", items}});
               }));
    routes.add("PUT", path, withParameters(services, [&services](int user, const json& p) {
                   auto id = EndpointSupport::idParameter(p, "id");
                   auto name = folderName(p);
                   if (!id || !name) {
                       return EndpointSupport::badRequest("expected {\"id\": id, \"name\": text}");
                   }
                   auto stored = services.state.update([&](json& document) -> Status {
                       json* folder = ownFolder(document, user, *id);
                       if (folder == nullptr) {
                           return refusal(404, "no such folder");
                       }
                       (*folder)["name"] = *name;
                       return {};
                   });
                   return stored.ok() ? EndpointSupport::success() : failure(stored.error());
               }));
    routes.add("DELETE", path, withParameters(services, [&services](int user, const json& p) {
                   auto id = EndpointSupport::idParameter(p, "id");
                   if (!id) {
                       return EndpointSupport::badRequest("expected the folder's \"id\"");
                   }
                   auto stored = services.state.update([&](json& document) -> Status {
                       if (ownFolder(document, user, *id) == nullptr) {
                           return {};
                       }
                       auto& folders = document["favorite_folders"];
                       folders.erase(std::remove_if(folders.begin(), folders.end(),
                                                    [&](const json& f) { return f["id"] == *id; }),
                                     folders.end());
                       auto& relations = document["favorite_relations"];
                       relations.erase(
                           std::remove_if(relations.begin(), relations.end(),
                                          [&](const json& r) { return r["folder_id"] == *id; }),
                           relations.end());
                       return {};
                   });
                   return stored.ok() ? EndpointSupport::success() : failure(stored.error());
               }));
}

void addFileRoutes(RouteTable& routes, const CmsServices& services, const std::string& path) {
    routes.add(
        "POST", path, withParameters(services, [&services](int user, const json& p) {
            auto folder = EndpointSupport::idParameter(p, "folder_id");
            auto file = EndpointSupport::idParameter(p, "file_id");
            if (!folder || !file) {
                return EndpointSupport::badRequest(
                    "expected {\"folder_id\": id or 0, \"file_id\": id}");
            }
            if (!userSeesFile(services, user, *file)) {
                return CmsResponse::error(404, "no such file");
            }
            int id = 0;
            auto stored = services.state.update([&](json& document) -> Status {
                if (*folder != 0 && ownFolder(document, user, *folder) == nullptr) {
                    return refusal(404, "no such folder");
                }
                // One relation per (folder, file): asking again hands out the same id.
                for (const json& relation : document["favorite_relations"]) {
                    if (relation["user"] == user && relation["folder_id"] == *folder &&
                        relation["file_id"] == *file) {
                        id = relation["id"];
                        return {};
                    }
                }
                id = CmsStateStore::takeId(document);
                document["favorite_relations"].push_back(
                    {{"id", id}, {"user", user}, {"folder_id", *folder}, {"file_id", *file}});
                return {};
            });
            return stored.ok() ? EndpointSupport::success({{"id", std::to_string(id)}})
                               : failure(stored.error());
        }));
    routes.add("GET", path, withParameters(services, [&services](int user, const json&) {
                   json items = json::array();
                   services.state.read([&](const json& document) {
                       for (const json& relation : document["favorite_relations"]) {
                           if (relation["user"] == user) {
                               items.push_back(
                                   {{"id", std::to_string(relation["id"].get<int>())},
                                    {"folder_id", std::to_string(relation["folder_id"].get<int>())},
                                    {"file_id", std::to_string(relation["file_id"].get<int>())}});
                           }
                       }
                   });
                   return EndpointSupport::success({{"items", items}});
               }));
    routes.add("DELETE", path, withParameters(services, [&services](int user, const json& p) {
                   auto folder = EndpointSupport::idParameter(p, "folder_id");
                   auto file = EndpointSupport::idParameter(p, "file_id");
                   if (!folder || !file) {
                       return EndpointSupport::badRequest(
                           "expected \"folder_id\" (0 without folder) and \"file_id\"");
                   }
                   auto stored = services.state.update([&](json& document) -> Status {
                       auto& relations = document["favorite_relations"];
                       relations.erase(std::remove_if(relations.begin(), relations.end(),
                                                      [&](const json& r) {
                                                          return r["user"] == user &&
                                                                 r["folder_id"] == *folder &&
                                                                 r["file_id"] == *file;
                                                      }),
                                       relations.end());
                       return {};
                   });
                   return stored.ok() ? EndpointSupport::success() : failure(stored.error());
               }));
}

}  // namespace

void FavoriteEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    addFolderRoutes(routes, services, api + "/favorite/folders$");
    addFileRoutes(routes, services, api + "/favorite/files$");
}

}  // namespace pagewell::cms
