#include "net/RequestRunner.h"

#include "diag/LogRedactor.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "platform/OperationQueue.h"
#include "store/JsonNumber.h"
#include "store/PersistentStore.h"

namespace pagewell {

namespace {

// Imports run beside each other like the platform's global background queue; the importer
// serialises what must not overlap with its own locks.
OperationQueue& importQueue() {
    static OperationQueue queue(4, "EndpointImports");
    return queue;
}

constexpr std::size_t kLoggedAnswerLimit = 2000;

}  // namespace

std::shared_ptr<CatalogueImporting> RequestRunner::importerOrFail(
    const ErrorCallback& error) const {
    auto importer = delegates_.importer();
    if (!importer) {
        fail(error, EndpointDelegates::missing("catalogue importer"));
    }
    return importer;
}

std::shared_ptr<ChangeTimestamps> RequestRunner::timestampsOrFail(
    const ErrorCallback& error) const {
    auto timestamps = delegates_.timestamps();
    if (!timestamps) {
        fail(error, EndpointDelegates::missing("change-timestamp store"));
    }
    return timestamps;
}

bool RequestRunner::finishedOffline(const Done& done) const {
    if (!manager_.isInOfflineMode()) {
        return false;
    }
    onMain(done);
    return true;
}

bool RequestRunner::refusedOffline(const ErrorCallback& error) const {
    if (!manager_.isInOfflineMode()) {
        return false;
    }
    onMain([error] { error(InterfaceManager::unreachableError()); });
    return true;
}

void RequestRunner::withLocale(const std::function<void(const std::string& localeID)>& run,
                               Done done, ErrorCallback error) const {
    auto source = delegates_.localeSource();
    if (!source) {
        fail(error, EndpointDelegates::missing("content-language source"));
        return;
    }
    auto localeID = source->getCurrentLocaleID();
    if (!localeID || localeID->empty()) {
        manager_.showLocaleSelection(std::move(done), std::move(error));
        return;
    }
    run(*localeID);
}

void RequestRunner::fetchWithLocale(std::function<std::string(const std::string&)> pathFor,
                                    JsonCompletion completion, ErrorCallback error) const {
    Done noData = [completion] { completion(Json()); };
    if (finishedOffline(noData)) {
        return;
    }
    InterfaceManager* manager = &manager_;
    withLocale(
        [manager, pathFor = std::move(pathFor), completion, error](const std::string& localeID) {
            manager->sendRequest(pathFor(localeID), completion, error);
        },
        noData, error);
}

void RequestRunner::onMain(std::function<void()> callback) {
    MainQueue::shared().post(std::move(callback));
}

void RequestRunner::inBackground(std::function<Status()> work, std::function<void(Status)> result) {
    auto queue = MainQueue::sharedPointer();
    importQueue().addOperation([work = std::move(work), result = std::move(result), queue] {
        Status status = work();
        queue->post([result, status] { result(status); });
    });
}

void RequestRunner::fail(const ErrorCallback& callback, const Error& error) {
    PW_LOG_ERROR_VALUE(error);
    onMain([callback, error] { callback(error); });
}

void RequestRunner::report(const Status& status, const Done& completion,
                           const ErrorCallback& error) {
    if (!status.ok()) {
        PW_LOG_ERROR_VALUE(status.error());
        error(status.error());
        return;
    }
    completion();
}

InterfaceManager::RawErrorCallback RequestRunner::plainError(ErrorCallback error) {
    return [error = std::move(error)](const Error& failure, const InterfaceManager::RawResponse&) {
        error(failure);
    };
}

Status RequestRunner::saveInMainContext(const std::function<Status(StoreContext&)>& change) {
    auto store = PersistentStore::shared();
    if (!store) {
        return Error::make(PersistentStore::kErrorDomain, -1, "The store is not open.");
    }
    StoreContext& context = store->mainContext();
    Status status = change(context);
    if (status.ok()) {
        status = context.save();
    }
    if (!status.ok()) {
        context.rollback();
    }
    return status;
}

std::string RequestRunner::withTimestamp(std::string path, const std::string& timestamp) {
    if (timestamp.empty() || timestamp == ChangeTimestamps::kNoTimestamp) {
        return path;
    }
    return withQuery(std::move(path), "timestamp", timestamp);
}

std::string RequestRunner::withQuery(std::string path, std::string_view name,
                                     std::string_view value) {
    path += '&';
    path += name;
    path += '=';
    path += InterfaceManager::percentEscape(value);
    return path;
}

std::optional<std::string> RequestRunner::timestampOf(const Json& answer) {
    return JsonNumber::text(answer, "timestamp");
}

std::optional<std::int64_t> RequestRunner::integerOf(const Json& answer, std::string_view key) {
    return JsonNumber::integer(answer, key);
}

bool RequestRunner::succeeded(const Json& answer) {
    if (!answer.is_object()) {
        return false;
    }
    auto success = answer.find("success");
    if (success == answer.end()) {
        return false;
    }
    if (success->is_boolean()) {
        return success->get<bool>();
    }
    return success->is_number() && success->get<double>() != 0;
}

bool RequestRunner::hasList(const Json& answer, std::string_view key) {
    if (!answer.is_object()) {
        return false;
    }
    auto value = answer.find(key);
    return value != answer.end() && value->is_array();
}

std::string RequestRunner::describe(const Json& answer) {
    std::string text =
        LogRedactor::redactBody(answer.dump(-1, ' ', false, Json::error_handler_t::replace));
    if (text.size() > kLoggedAnswerLimit) {
        text.resize(kLoggedAnswerLimit);
        text += "...";
    }
    return text;
}

Error RequestRunner::badAnswer(std::string description) {
    return Error::make(InterfaceManager::kAppErrorDomain, -1, std::move(description));
}

}  // namespace pagewell
