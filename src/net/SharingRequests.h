#pragma once
// Read confirmations of files and of share links: reporting that the user confirmed a file,
// registering a share link, and asking whether a link's recipient has opened it. Store changes
// after a success are made in the store's main context and saved before the completion runs.
//
// Offline: sendReadConfirmationForFile calls its completion at once and marks nothing (the
// confirmation stays waiting for the next resend); the two share-link operations fail with
// "Unreachable" 100.
//
// Threading: a SharingRequests is a thin handle used on the main thread; callbacks run on the
// main queue, exactly one per call.

#include <functional>
#include <string>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"
#include "platform/Clock.h"
#include "store/File.h"
#include "store/ShareLink.h"

namespace pagewell {

class SharingRequests {
  public:
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;

    explicit SharingRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                             EndpointDelegates& delegates = EndpointDelegates::shared());

    // POST read/confirm/ID (framed) {"confirm_date": confirmation date in UTC}: "success" true
    // sets didSendReadConfirmation; otherwise "ReadConfirmation" 100 kReadConfirmationFailed.
    void sendReadConfirmationForFile(File file, Done completion, ErrorCallback error);
    // GET share/readstate&share_uuid=U: the link's read flag from "read", saved.
    void getReadStatusForShareLink(ShareLink link, Done completion, ErrorCallback error);
    // POST share/readstate (framed) {"file_id", "share_uuid"}: "success" true gives the link
    // its "id" and marks it synced; otherwise "LinkReadConfirmation" 100 kCreateLinkFailed.
    void createShareLink(ShareLink link, Done completion, ErrorCallback error);

    // "yyyy-MM-dd HH:mm:ss" in UTC, as the server expects confirmation dates.
    static std::string utcDateText(SystemTime time);

    static constexpr const char* kReadConfirmationFailed = "Sending read confirmation failed";
    static constexpr const char* kCreateLinkFailed = "Creating link failed";
    static constexpr const char* kLogReadConfirmationFailed =
        "Sending read confirmation failed for file: {}";
    static constexpr const char* kLogCreateLinkFailed = "Creating link failed for uuid: {}";
    static constexpr const char* kLogCreateLinkRequest = "Creating link for uuid: {}";
    static constexpr const char* kLogGotResponse = "Got response: {}";

  private:
    RequestRunner runner_;
};

}  // namespace pagewell
