#include "net/ProximityRequests.h"

#include <string>

#include "net/AnswerLimits.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

Error noItems(const char* text) {
    return Error::make(InterfaceManager::kLocationErrorDomain, -1, text);
}

// Hands an importer outcome to the caller, logging a refusal once.
std::function<void(Status)> report(ProximityRequests::Done completion,
                                   ProximityRequests::ErrorCallback error) {
    return [completion = std::move(completion), error = std::move(error)](const Status& status) {
        if (!status.ok()) {
            PW_LOG_ERROR_VALUE(status.error());
            error(status.error());
            return;
        }
        completion();
    };
}

}  // namespace

ProximityRequests::ProximityRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

void ProximityRequests::getList(const char* controller, const char* method, const char* missingText,
                                Status (CatalogueImporting::*import)(const nlohmann::json&),
                                Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto importer = runner_.delegates().importer();
    if (!importer) {
        RequestRunner::fail(error, EndpointDelegates::missing("catalogue importer"));
        return;
    }
    InterfaceManager& manager = runner_.manager();
    manager.sendRequest(
        manager.pathForRestMethod(method, controller),
        [importer, import, missingText, completion, error](const nlohmann::json& answer) {
            if (!RequestRunner::hasList(answer, "items")) {
                RequestRunner::fail(error, noItems(missingText));
                return;
            }
            RequestRunner::inBackground(
                [importer, import, answer] { return ((*importer).*import)(answer); },
                report(completion, error));
        },
        error);
}

void ProximityRequests::getFiles(ProximityKind kind, const char* controller, std::int64_t entryID,
                                 const char* missingText, Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto importer = runner_.delegates().importer();
    if (!importer) {
        RequestRunner::fail(error, EndpointDelegates::missing("catalogue importer"));
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RequestOptions options;
    options.maxAnswerBytes = AnswerLimits::kFileList;
    manager.sendRequest(
        manager.pathForRestMethod("files", controller, {std::to_string(entryID)}),
        [importer, kind, entryID, missingText, completion, error](const nlohmann::json& answer) {
            if (!RequestRunner::hasList(answer, "items")) {
                RequestRunner::fail(error, noItems(missingText));
                return;
            }
            RequestRunner::inBackground(
                [importer, kind, entryID, answer]() -> Status {
                    // The answer is the entry's whole list: links it no longer names must go.
                    if (auto removed = importer->removeFilesOfProximityEntry(kind, entryID);
                        !removed) {
                        return removed;
                    }
                    return importer->importFilesWithJSON(answer);
                },
                report(completion, error));
        },
        error, options);
}

void ProximityRequests::getBeaconList(Done completion, ErrorCallback error) {
    getList("beacon", "list", kNoBeaconList, &CatalogueImporting::importBeaconListWithJSON,
            std::move(completion), std::move(error));
}

void ProximityRequests::getCustomerList(Done completion, ErrorCallback error) {
    getList("customer", "listGps", kNoCustomerList, &CatalogueImporting::importCustomerListWithJSON,
            std::move(completion), std::move(error));
}

void ProximityRequests::getCustomerGroupList(Done completion, ErrorCallback error) {
    getList("customergroup", "list", kNoCustomerGroupList,
            &CatalogueImporting::importCustomerGroupListWithJSON, std::move(completion),
            std::move(error));
}

void ProximityRequests::getQRCodeList(Done completion, ErrorCallback error) {
    getList("qrcode", "list", kNoQRCodeList, &CatalogueImporting::importQRCodesListWithJSON,
            std::move(completion), std::move(error));
}

void ProximityRequests::getFilesForBeacon(std::int64_t beaconID, Done completion,
                                          ErrorCallback error) {
    getFiles(ProximityKind::Beacon, "beacon", beaconID, kNoBeaconFiles, std::move(completion),
             std::move(error));
}

void ProximityRequests::getFilesForCustomer(std::int64_t customerID, Done completion,
                                            ErrorCallback error) {
    getFiles(ProximityKind::Customer, "customer", customerID, kNoCustomerFiles,
             std::move(completion), std::move(error));
}

void ProximityRequests::getFilesForCustomerGroup(std::int64_t groupID, Done completion,
                                                 ErrorCallback error) {
    getFiles(ProximityKind::CustomerGroup, "customergroup", groupID, kNoCustomerFiles,
             std::move(completion), std::move(error));
}

void ProximityRequests::getFilesForQRCode(std::int64_t codeID, Done completion,
                                          ErrorCallback error) {
    getFiles(ProximityKind::QRCode, "qrcode", codeID, kNoQRCodeFiles, std::move(completion),
             std::move(error));
}

}  // namespace pagewell
