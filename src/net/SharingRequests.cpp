#include "net/SharingRequests.h"

#include <fmt/format.h>

#include <ctime>

#include "platform/Logger.h"
#include "store/JsonNumber.h"
#include "store/PersistentStore.h"
#include "store/ShareFile.h"

namespace pagewell {

namespace {

using Json = nlohmann::json;

Error readConfirmationFailed() {
    return Error::make(InterfaceManager::kReadConfirmationErrorDomain, 100,
                       SharingRequests::kReadConfirmationFailed);
}

Error createLinkFailed() {
    return Error::make(InterfaceManager::kLinkReadConfirmationErrorDomain, 100,
                       SharingRequests::kCreateLinkFailed);
}

// The server identifier of the file the link's basket item shares.
std::optional<std::int64_t> fileIDOfLink(const ShareLink& link) {
    auto store = PersistentStore::shared();
    if (!store || !link.shareFileKey) {
        return std::nullopt;
    }
    StoreContext& context = store->mainContext();
    auto shareFile = ShareFile::find(context, *link.shareFileKey);
    if (!shareFile.ok() || !shareFile.value() || !shareFile.value()->fileKey) {
        return std::nullopt;
    }
    auto file = File::find(context, *shareFile.value()->fileKey);
    if (!file.ok() || !file.value()) {
        return std::nullopt;
    }
    return file.value()->cmsID;
}

}  // namespace

SharingRequests::SharingRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

std::string SharingRequests::utcDateText(SystemTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::seconds>(time));
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

void SharingRequests::sendReadConfirmationForFile(File file, Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    const std::string title = file.title.value_or("");
    if (!file.cmsID || !file.confirmationDate) {
        PW_LOG_ERROR(kLogReadConfirmationFailed, title);
        RequestRunner::fail(error, readConfirmationFailed());
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RequestOptions options;
    options.postData = Json{{"confirm_date", utcDateText(*file.confirmationDate)}};
    manager.sendRequest(
        manager.pathForRestMethod("confirm", "read", {std::to_string(*file.cmsID)}),
        [file, title, completion, error](const Json& answer) mutable {
            if (!RequestRunner::succeeded(answer)) {
                PW_LOG_ERROR(kLogReadConfirmationFailed, title);
                PW_LOG_ERROR(kLogGotResponse, RequestRunner::describe(answer));
                error(readConfirmationFailed());
                return;
            }
            file.didSendReadConfirmation = true;
            RequestRunner::report(RequestRunner::saveInMainContext([&file](StoreContext& context) {
                                      return file.update(context);
                                  }),
                                  completion, error);
        },
        [title, error](const Error& failure) {
            PW_LOG_ERROR(kLogReadConfirmationFailed, title);
            PW_LOG_ERROR(kLogGotResponse, failure.description);
            error(readConfirmationFailed());
        },
        std::move(options));
}

void SharingRequests::getReadStatusForShareLink(ShareLink link, Done completion,
                                                ErrorCallback error) {
    if (runner_.refusedOffline(error)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RawRequest request;
    request.path = RequestRunner::withQuery(manager.pathForRestMethod("readstate", "share"),
                                            "share_uuid", link.uuid.value_or(""));
    manager.send(
        std::move(request),
        [link, completion, error](const InterfaceManager::RawResponse& response) mutable {
            const Json answer = response.json.value_or(Json());
            auto read = RequestRunner::integerOf(answer, "read");
            if (!read) {
                RequestRunner::fail(
                    error, RequestRunner::badAnswer("The read state answer has no read flag."));
                return;
            }
            link.read = *read != 0;
            RequestRunner::report(RequestRunner::saveInMainContext([&link](StoreContext& context) {
                                      return link.update(context);
                                  }),
                                  completion, error);
        },
        [error](const Error& failure, const InterfaceManager::RawResponse&) { error(failure); });
}

void SharingRequests::createShareLink(ShareLink link, Done completion, ErrorCallback error) {
    if (runner_.refusedOffline(error)) {
        return;
    }
    const std::string uuid = link.uuid.value_or("");
    auto fileID = fileIDOfLink(link);
    if (!fileID || uuid.empty()) {
        PW_LOG_ERROR(kLogCreateLinkFailed, uuid);
        RequestRunner::fail(error, createLinkFailed());
        return;
    }
    InterfaceManager& manager = runner_.manager();
    InterfaceManager::RequestOptions options;
    options.postData = Json{{"file_id", *fileID}, {"share_uuid", uuid}};
    manager.sendRequest(
        manager.pathForRestMethod("readstate", "share"),
        [link, uuid, completion, error](const Json& answer) mutable {
            auto id = JsonNumber::text(answer, "id");
            if (!RequestRunner::succeeded(answer) || !id) {
                PW_LOG_ERROR(kLogCreateLinkFailed, uuid);
                PW_LOG_ERROR(kLogGotResponse, RequestRunner::describe(answer));
                error(createLinkFailed());
                return;
            }
            link.cmsID = id;
            link.synced = true;
            RequestRunner::report(RequestRunner::saveInMainContext([&link](StoreContext& context) {
                                      return link.update(context);
                                  }),
                                  completion, error);
        },
        [uuid, error](const Error& failure) {
            PW_LOG_ERROR(kLogCreateLinkRequest, uuid);
            error(failure);
        },
        std::move(options));
}

}  // namespace pagewell
