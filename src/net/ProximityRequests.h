#pragma once
// The proximity content: the lists of beacons, customers, customer groups and QR codes, and the
// files each entry selects. Every operation is a framed GET; an answer without an "items" list
// is the error domain "Location", code -1, with the operation's own text. Offline, each calls
// its completion at once.
//
// Threading: a ProximityRequests is a thin handle used on the main thread; imports run on the
// background queue and callbacks on the main queue, exactly one per call.

#include <cstdint>
#include <functional>

#include "net/CatalogueImporting.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"

namespace pagewell {

class ProximityRequests {
  public:
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;

    explicit ProximityRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                               EndpointDelegates& delegates = EndpointDelegates::shared());

    // beacon/list → importBeaconListWithJSON
    void getBeaconList(Done completion, ErrorCallback error);
    // customer/listGps → importCustomerListWithJSON
    void getCustomerList(Done completion, ErrorCallback error);
    // customergroup/list → importCustomerGroupListWithJSON
    void getCustomerGroupList(Done completion, ErrorCallback error);
    // qrcode/list → importQRCodesListWithJSON
    void getQRCodeList(Done completion, ErrorCallback error);

    // CONTROLLER/files/ID: the entry's files are unlinked, then the answer is imported with
    // importFilesWithJSON.
    void getFilesForBeacon(std::int64_t beaconID, Done completion, ErrorCallback error);
    void getFilesForCustomer(std::int64_t customerID, Done completion, ErrorCallback error);
    void getFilesForCustomerGroup(std::int64_t groupID, Done completion, ErrorCallback error);
    void getFilesForQRCode(std::int64_t codeID, Done completion, ErrorCallback error);

    static constexpr const char* kNoBeaconList = "No beacon list found.";
    static constexpr const char* kNoCustomerList = "No customer list found.";
    static constexpr const char* kNoCustomerGroupList = "No customer groups list found.";
    static constexpr const char* kNoQRCodeList = "No qr code list found.";
    static constexpr const char* kNoBeaconFiles = "No files for beacon found.";
    static constexpr const char* kNoCustomerFiles = "No files for customer found.";
    static constexpr const char* kNoQRCodeFiles = "No files for qr code found.";

  private:
    void getList(const char* controller, const char* method, const char* missingText,
                 Status (CatalogueImporting::*import)(const nlohmann::json&), Done completion,
                 ErrorCallback error);
    void getFiles(ProximityKind kind, const char* controller, std::int64_t entryID,
                  const char* missingText, Done completion, ErrorCallback error);

    RequestRunner runner_;
};

}  // namespace pagewell
