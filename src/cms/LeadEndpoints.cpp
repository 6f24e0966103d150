#include "cms/LeadEndpoints.h"

#include "cms/EndpointSupport.h"
#include "platform/Logger.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

CmsResponse failure(const Error& error) {
    if (error.domain == "CmsRequest") {
        return CmsResponse::error(error.code, error.description);
    }
    PW_LOG_ERROR_VALUE(error);
    return CmsResponse::error(500, "cannot keep the change");
}

RouteHandler serverList(const CmsServices& services, const std::string& section) {
    return EndpointSupport::framed(services, [&services, section](int, const CmsRequest&) {
        json items = json::array();
        services.catalogue.read([&](const Catalogue& catalogue) {
            auto it = catalogue.extensions.find(section);
            if (it != catalogue.extensions.end()) {
                json listed = json::parse(it->second, nullptr, false);
                if (listed.is_array()) {
                    items = std::move(listed);
                }
            }
        });
        return EndpointSupport::success({{"items", items}});
    });
}

CmsResponse registerContact(const CmsServices& services, int user, const CmsRequest& request) {
    auto parameters = EndpointSupport::parameters(request);
    if (!parameters.ok()) {
        return EndpointSupport::badRequest(parameters.error().description);
    }
    const json& contact = parameters.value();
    auto localId = EndpointSupport::idParameter(contact, "id");
    auto products = contact.find("products");
    const bool productsValid =
        products == contact.end() ||
        (products->is_array() && std::all_of(products->begin(), products->end(), [](const json& p) {
             return p.is_object() && EndpointSupport::idParameter(p, "product_id").has_value();
         }));
    if (!localId || !productsValid) {
        return EndpointSupport::badRequest(
            "expected a contact with its local \"id\" and \"products\" with \"product_id\"");
    }
    const json device = contact.value("devicename", json(""));
    int id = 0;
    auto stored = services.state.update([&](json& document) -> Status {
        for (json& existing : document["contacts"]) {
            if (existing["user"] == user && existing["devicename"] == device &&
                existing["local_id"] == *localId) {
                existing["contact"] = contact;
                existing["received"] = EndpointSupport::nowText();
                id = existing["id"];
                return {};
            }
        }
        id = CmsStateStore::takeId(document);
        document["contacts"].push_back({{"id", id},
                                        {"user", user},
                                        {"devicename", device},
                                        {"local_id", *localId},
                                        {"received", EndpointSupport::nowText()},
                                        {"contact", contact},
                                        {"uploads", json::array()}});
        return {};
    });
    return stored.ok() ? EndpointSupport::success({{"id", id}}) : failure(stored.error());
}

CmsResponse uploadImage(const CmsServices& services, int user, const CmsRequest& request,
                        const std::string& kind) {
    const CmsUploadedFile* part = nullptr;
    for (const auto& file : request.files) {
        if (file.name == kind) {
            part = &file;
        }
    }
    if (part == nullptr) {
        return EndpointSupport::badRequest("expected a multipart part named \"" + kind + "\"");
    }
    if (part->content.size() < 3 || static_cast<unsigned char>(part->content[0]) != 0xFF ||
        static_cast<unsigned char>(part->content[1]) != 0xD8) {
        return CmsResponse::error(415, "the " + kind + " is not a JPEG image");
    }
    const int contact = EndpointSupport::idCapture(request, 0);
    std::string name;
    auto stored = services.state.update([&](json& document) -> Status {
        for (json& existing : document["contacts"]) {
            if (existing["id"] != contact || existing["user"] != user) {
                continue;
            }
            name = "contact-" + std::to_string(contact) + "-" + kind + "-" +
                   std::to_string(existing["uploads"].size() + 1) + ".jpg";
            // The image is on disk before the record names it.
            if (auto kept = services.state.storeUpload(name, part->content); !kept.ok()) {
                return kept;
            }
            existing["uploads"].push_back(
                {{"kind", kind}, {"name", name}, {"size", part->content.size()}});
            return {};
        }
        return Error::make("CmsRequest", 404, "no such contact");
    });
    return stored.ok() ? EndpointSupport::success() : failure(stored.error());
}

}  // namespace

void LeadEndpoints::addTo(RouteTable& routes, const CmsServices& services) {
    const std::string api = std::string("^") + kApiBase;
    const std::string id = "([0-9]{1,9})";
    routes.add("GET", api + "/ztLeadscanProducts/get$", serverList(services, "leadscan_products"));
    routes.add("GET", api + "/ztLeadscanRepresentations/get$",
               serverList(services, "leadscan_representations"));
    routes.add("POST", api + "/ztLeadscanContacts/register$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return registerContact(services, user, r);
               }));
    routes.add("POST", api + "/ztLeadscanContacts/addBusinesscard/" + id + "$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return uploadImage(services, user, r, "businesscard");
               }));
    routes.add("POST", api + "/ztLeadscanContacts/addPhoto/" + id + "$",
               EndpointSupport::framed(services, [&services](int user, const CmsRequest& r) {
                   return uploadImage(services, user, r, "photo");
               }));
}

}  // namespace pagewell::cms
