#pragma once
// The lead-capture operations: product and representation lists, contact registration and the
// business-card and photo uploads of a contact. Offline, each calls its completion at once with
// no data.
//
// Threading: a LeadRequests is a thin handle used on the main thread; callbacks run on the main
// queue, exactly one per call.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"

namespace pagewell {

class LeadRequests {
  public:
    using Json = nlohmann::json;
    using ErrorCallback = InterfaceManager::ErrorCallback;
    using JsonCompletion = std::function<void(const Json& value)>;
    // The server's identifier of the new contact; none offline.
    using ContactCompletion = std::function<void(std::optional<std::int64_t> contactID)>;

    explicit LeadRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                          EndpointDelegates& delegates = EndpointDelegates::shared());

    // GET ztLeadscanProducts/get (framed): the answer's "items".
    void getProducts(JsonCompletion completion, ErrorCallback error);
    // GET ztLeadscanRepresentations/get (framed): the answer's "items".
    void getRepresentation(JsonCompletion completion, ErrorCallback error);
    // POST `contact` as JSON to ztLeadscanContacts/register?token=T: the answer's "id".
    void registerCustomContactsWithDict(const Json& contact, ContactCompletion completion,
                                        ErrorCallback error);
    // POST multipart ztLeadscanContacts/addBusinesscard/ID?token=T, one part "businesscard",
    // "businesscard.jpg", "image/jpeg": the decoded answer.
    void addBusinesscardForContactWithID(std::int64_t contactID, const std::string& jpeg,
                                         JsonCompletion completion, ErrorCallback error);
    // The same to ztLeadscanContacts/addPhoto/ID with the part "photo", "photo.jpg".
    void addPhotoForContactWithID(std::int64_t contactID, const std::string& jpeg,
                                  JsonCompletion completion, ErrorCallback error);

    static constexpr const char* kNoItems = "The answer holds no item list.";
    static constexpr const char* kNoContactID = "The contact registration answer has no id.";

  private:
    void getItems(const char* controller, JsonCompletion completion, ErrorCallback error);
    void upload(const char* method, std::int64_t contactID, const char* partName,
                const char* fileName, const std::string& jpeg, JsonCompletion completion,
                ErrorCallback error);

    RequestRunner runner_;
};

}  // namespace pagewell
