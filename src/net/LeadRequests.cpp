#include "net/LeadRequests.h"

#include <fmt/format.h>

#include "diag/LogRedactor.h"
#include "net/KeychainBridge.h"
#include "platform/HttpSession.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

std::string contactsPath(std::string_view method, std::optional<std::int64_t> contactID) {
    std::string path = fmt::format("ztLeadscanContacts/{}", method);
    if (contactID) {
        path += fmt::format("/{}", *contactID);
    }
    return path + "?token=" + InterfaceManager::percentEscape(KeychainBridge::shared().token());
}

}  // namespace

LeadRequests::LeadRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

void LeadRequests::getItems(const char* controller, JsonCompletion completion,
                            ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(Json()); })) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    manager.sendRequest(
        manager.pathForRestMethod("get", controller),
        [completion, error](const Json& answer) {
            if (!RequestRunner::hasList(answer, "items")) {
                RequestRunner::fail(error, RequestRunner::badAnswer(kNoItems));
                return;
            }
            completion(answer["items"]);
        },
        error);
}

void LeadRequests::getProducts(JsonCompletion completion, ErrorCallback error) {
    getItems("ztLeadscanProducts", std::move(completion), std::move(error));
}

void LeadRequests::getRepresentation(JsonCompletion completion, ErrorCallback error) {
    getItems("ztLeadscanRepresentations", std::move(completion), std::move(error));
}

void LeadRequests::registerCustomContactsWithDict(const Json& contact, ContactCompletion completion,
                                                  ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(std::nullopt); })) {
        return;
    }
    InterfaceManager::RawRequest request;
    request.method = "POST";
    request.path = contactsPath("register", std::nullopt);
    request.jsonBody = contact;
    runner_.manager().send(
        std::move(request),
        [completion, error](const InterfaceManager::RawResponse& response) {
            auto id = response.json ? RequestRunner::integerOf(*response.json, "id")
                                    : std::optional<std::int64_t>();
            if (!id) {
                RequestRunner::fail(error, RequestRunner::badAnswer(kNoContactID));
                return;
            }
            completion(id);
        },
        [error](const Error& failure, const InterfaceManager::RawResponse&) { error(failure); });
}

void LeadRequests::upload(const char* method, std::int64_t contactID, const char* partName,
                          const char* fileName, const std::string& jpeg, JsonCompletion completion,
                          ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion(Json()); })) {
        return;
    }
    HttpRequest request = HttpRequest::json(HttpMethod::Post, contactsPath(method, contactID));
    request.multipart.push_back(
        HttpMultipartPart::fileData(partName, fileName, "image/jpeg", jpeg));
    runner_.manager().send(std::move(request), [completion, error](HttpResult result) {
        if (!result.ok()) {
            PW_LOG_ERROR("error: {}", result.error->toString());
            error(*result.error);
            return;
        }
        PW_LOG_INFO("response: {}", LogRedactor::redactBody(result.response.body));
        completion(result.response.json ? *result.response.json : Json());
    });
}

void LeadRequests::addBusinesscardForContactWithID(std::int64_t contactID, const std::string& jpeg,
                                                   JsonCompletion completion, ErrorCallback error) {
    upload("addBusinesscard", contactID, "businesscard", "businesscard.jpg", jpeg,
           std::move(completion), std::move(error));
}

void LeadRequests::addPhotoForContactWithID(std::int64_t contactID, const std::string& jpeg,
                                            JsonCompletion completion, ErrorCallback error) {
    upload("addPhoto", contactID, "photo", "photo.jpg", jpeg, std::move(completion),
           std::move(error));
}

}  // namespace pagewell
