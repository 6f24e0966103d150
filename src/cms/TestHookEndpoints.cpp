#include "cms/TestHookEndpoints.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <exception>
#include <optional>
#include <string>

namespace pagewell::cms {

namespace {

using nlohmann::json;

int intField(const json& body, const char* key, int fallback = 0) {
    auto it = body.find(key);
    return it != body.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

std::vector<int> intList(const json& body, const char* key) {
    std::vector<int> values;
    if (auto it = body.find(key); it != body.end() && it->is_array()) {
        for (const auto& v : *it) {
            if (v.is_number_integer()) {
                values.push_back(v.get<int>());
            }
        }
    }
    return values;
}

std::optional<std::vector<int>> optionalIntList(const json& body, const char* key) {
    if (!body.contains(key) || body[key].is_null()) {
        return std::nullopt;
    }
    return intList(body, key);
}

std::string textField(const json& body, const char* key) {
    auto it = body.find(key);
    return it != body.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// One catalogue change; the names are the hook's vocabulary, the fields its body.
Status mutate(CatalogueState& state, const std::string& action, const json& body) {
    const int file = intField(body, "file");
    if (action == "touch") {
        return state.touchFile(file);
    }
    if (action == "change-content") {
        return state.changeFileContent(file, textField(body, "content"));
    }
    if (action == "move") {
        return state.moveFile(file);
    }
    if (action == "set-location") {
        return state.setFileLocation(file, textField(body, "location"));
    }
    if (action == "add-file") {
        NewFile wanted;
        wanted.id = file;
        wanted.title = textField(body, "title");
        wanted.name = textField(body, "name");
        wanted.mimeType = textField(body, "mime_type");
        wanted.content = textField(body, "content");
        wanted.thumbnail = textField(body, "thumbnail");
        wanted.locales = intList(body, "locales");
        wanted.categories = intList(body, "categories");
        wanted.users = optionalIntList(body, "users");
        wanted.highlight = body.value("highlight", false);
        return state.addFile(wanted);
    }
    if (action == "set-highlight") {
        // "highlight": bool, "start" / "end": server dates, "" for an empty end.
        return state.setHighlight(file, body.value("highlight", true), textField(body, "start"),
                                  textField(body, "end"));
    }
    if (action == "set-publication") {
        return state.setPublication(file, textField(body, "start"), textField(body, "end"));
    }
    if (action == "set-metatags") {
        std::vector<std::string> tags;
        if (auto list = body.find("metatags"); list != body.end() && list->is_array()) {
            for (const json& tag : *list) {
                if (tag.is_string()) {
                    tags.push_back(tag.get<std::string>());
                }
            }
        }
        return state.setMetatags(file, std::move(tags));
    }
    if (action == "delete-file") {
        return state.deleteFile(file);
    }
    if (action == "remove-file") {
        // From one category, or for one user.
        if (body.contains("category")) {
            return state.removeFileFromCategory(file, intField(body, "category"));
        }
        return state.removeFileForUser(file, intField(body, "user"));
    }
    if (action == "add-category") {
        NewCategory wanted;
        wanted.id = intField(body, "category");
        wanted.locale = intField(body, "locale");
        wanted.title = textField(body, "title");
        wanted.parents = intList(body, "parents");
        wanted.users = optionalIntList(body, "users");
        return state.addCategory(wanted);
    }
    if (action == "delete-category") {
        return state.deleteCategory(intField(body, "category"), intField(body, "locale"));
    }
    if (action == "remove-category") {
        return state.removeCategoryForUser(intField(body, "category"), intField(body, "locale"),
                                           intField(body, "user"));
    }
    if (action == "unassign-locales") {
        return state.unassignAllLocales(intField(body, "user"));
    }
    if (action == "set-imprint") {
        // "text": a text, or null for an imprint answered without one.
        auto text = body.find("text");
        return state.setImprintText(intField(body, "locale"),
                                    text != body.end() && text->is_string()
                                        ? std::optional<std::string>(text->get<std::string>())
                                        : std::nullopt);
    }
    return Error::make(CatalogueState::kErrorDomain, 404, "unknown action " + action);
}

CmsResponse ok(const CmsServices& services) {
    return CmsResponse::json(
        json{{"success", true}, {"timestamp", std::to_string(services.catalogue.revision())}}
            .dump());
}

std::optional<json> jsonBody(const CmsRequest& request) {
    auto body = json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        return std::nullopt;
    }
    return body;
}

// Hooks answer loopback clients only, whatever address the server is bound to.
RouteHandler local(RouteHandler handler) {
    return [handler = std::move(handler)](const CmsRequest& request) {
        if (!TestHookEndpoints::isLoopback(request.remoteAddress)) {
            return CmsResponse::error(403, "test hooks answer loopback clients only");
        }
        return handler(request);
    };
}

}  // namespace

bool TestHookEndpoints::isLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

void TestHookEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    routes.add("POST", "^/__test/tokens/expire$", local([&services](const CmsRequest&) {
                   services.tokens.expireAll();
                   return ok(services);
               }));
    routes.add(
        "POST", "^/__test/faults$", local([&services](const CmsRequest& request) {
            auto body = jsonBody(request);
            auto kind = body ? Fault::kindNamed(textField(*body, "action")) : std::nullopt;
            if (!kind) {
                return CmsResponse::error(
                    400,
                    "expected {\"prefix\", \"action\": "
                    "status|empty|stall|drop|hold|hang|answer|trickle|nest|pad|strip}");
            }
            Fault fault;
            fault.kind = *kind;
            fault.prefix = textField(*body, "prefix");
            fault.remaining = std::max(1, intField(*body, "count", 1));
            fault.status = intField(*body, "status", fault.kind == Fault::Kind::Answer ? 200 : 500);
            fault.contentType = textField(*body, "content_type");
            fault.body = textField(*body, "body");
            fault.bytesPerSecond = std::max(1, intField(*body, "rate", 10));
            fault.stall =
                std::chrono::milliseconds(static_cast<long>(body->value("seconds", 0.0) * 1000));
            fault.depth = intField(*body, "depth");
            fault.bytes = static_cast<std::size_t>(std::max(0, intField(*body, "bytes")));
            if (auto keys = body->find("keys"); keys != body->end() && keys->is_array()) {
                for (const auto& key : *keys) {
                    if (key.is_string()) {
                        fault.keys.push_back(key.get<std::string>());
                    }
                }
            }
            services.faults.arm(std::move(fault));
            return ok(services);
        }));
    routes.add("DELETE", "^/__test/faults$", local([&services](const CmsRequest&) {
                   services.faults.clear();
                   return ok(services);
               }));
    routes.add("POST", "^/__test/catalogue/([a-z-]+)$",
               local([&services](const CmsRequest& request) {
                   auto body = jsonBody(request);
                   if (!body) {
                       return CmsResponse::error(400, "expected a JSON object");
                   }
                   Status status = mutate(services.catalogue, request.captures[0], *body);
                   if (!status.ok()) {
                       return CmsResponse::error(status.error().code, status.error().description);
                   }
                   return ok(services);
               }));
    routes.add("GET", "^/__test/held$", local([&services](const CmsRequest& request) {
                   // With "held" and "arrived" in the query the answer waits (up to 20 s)
                   // until the counts are those.
                   auto wanted = [&request](const char* key) -> std::optional<int> {
                       std::optional<std::string> value = request.queryValue(key);
                       if (!value) {
                           return std::nullopt;
                       }
                       try {
                           return std::stoi(*value);
                       } catch (const std::exception&) {
                           return std::nullopt;
                       }
                   };
                   auto held = wanted("held");
                   auto arrived = wanted("arrived");
                   FaultInjector::HoldCount count =
                       held && arrived
                           ? services.faults.waitForHeld(*held, *arrived, std::chrono::seconds(20))
                           : services.faults.holdCount();
                   return CmsResponse::json(
                       json{{"held", count.held}, {"most", count.most}, {"arrived", count.arrived}}
                           .dump());
               }));
    routes.add("POST", "^/__test/held/release$", local([&services](const CmsRequest& request) {
                   auto body = jsonBody(request);
                   services.faults.release(body ? intField(*body, "count", 1) : 1);
                   return ok(services);
               }));
    routes.add("GET", "^/__test/requests$", local([&services](const CmsRequest&) {
                   json items = json::array();
                   for (const auto& entry : services.requestLog.entries()) {
                       items.push_back({{"method", entry.method},
                                        {"target", entry.target},
                                        {"status", entry.status},
                                        {"headers", entry.headers},
                                        {"body", entry.body}});
                   }
                   return CmsResponse::json(json{{"items", items}}.dump());
               }));
    routes.add("DELETE", "^/__test/requests$", local([&services](const CmsRequest&) {
                   services.requestLog.clear();
                   return ok(services);
               }));
}

}  // namespace pagewell::cms
