#include "sync/FileDownloadOperation.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "platform/FileSystem.h"
#include "platform/HttpRequest.h"
#include "platform/HttpResponse.h"
#include "platform/Logger.h"
#include "platform/MainQueue.h"
#include "store/File.h"
#include "store/FileState.h"
#include "store/ItemDirectory.h"
#include "store/PersistentStore.h"
#include "store/Resource.h"
#include "store/StoredPath.h"
#include "store/Thumbnail.h"
#include "store/ThumbnailURL.h"
#include "sync/DownloadedContentCheck.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

namespace {

namespace fs = std::filesystem;

std::mutex sharedEnvironmentMutex;
FileDownloadOperation::Environment& sharedEnvironmentSlot() {
    static FileDownloadOperation::Environment environment;  // guarded by sharedEnvironmentMutex
    return environment;
}

// Renewals of the access token, one at a time across every download: operations that all met
// the expired token wait here, and the first renews it for everybody. The holder keeps the gate
// for as long as it keeps its lease; the last copy of the lease dropped lets the next waiter in
// (on the main queue, where every holder works).
class TokenRenewalGate : public std::enable_shared_from_this<TokenRenewalGate> {
  public:
    using Lease = std::shared_ptr<void>;
    using Holder = std::function<void(Lease lease)>;

    // The one gate of the process; a lock, so it is never replaced. Leases keep it alive, so a
    // handler still queued at exit never finds it gone.
    static TokenRenewalGate& instance() {
        static const std::shared_ptr<TokenRenewalGate> gate = std::make_shared<TokenRenewalGate>();
        return *gate;
    }

    // Runs `holder` now when the gate is free, else after the holders before it.
    void acquire(Holder holder) {
        {
            std::lock_guard lock(mutex_);
            if (busy_) {
                waiting_.push_back(std::move(holder));
                return;
            }
            busy_ = true;
        }
        holder(makeLease());
    }

  private:
    Lease makeLease() {
        return Lease(nullptr, [gate = shared_from_this()](void*) { gate->release(); });
    }

    void release() {
        Holder next;
        {
            std::lock_guard lock(mutex_);
            if (waiting_.empty()) {
                busy_ = false;
                return;
            }
            next = std::move(waiting_.front());
            waiting_.pop_front();
        }
        // The lease travels with the handler: should the handler be dropped unrun, the gate
        // still opens for the next waiter.
        MainQueue::shared().post(
            [next = std::move(next), lease = makeLease()]() mutable { next(std::move(lease)); });
    }

    std::mutex mutex_;
    bool busy_ = false;           // guarded by mutex_
    std::deque<Holder> waiting_;  // guarded by mutex_
};

bool isAlphanumeric(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Where the authority of an absolute address ends ("http://h:1/x" gives 10); npos without a
// scheme.
std::size_t authorityEnd(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return std::string_view::npos;
    }
    for (std::size_t i = 0; i < scheme; ++i) {
        const char c = url[i];
        if (!(isAlphanumeric(c) || c == '+' || c == '-' || c == '.')) {
            return std::string_view::npos;
        }
    }
    const std::size_t end = url.find_first_of("/?#", scheme + 3);
    return end == std::string_view::npos ? url.size() : end;
}

bool hasScheme(std::string_view url) {
    return authorityEnd(url) != std::string_view::npos;
}

// What an address is logged as: never with its token.
std::string shownURL(std::string_view url) {
    return HttpSession::removeTokenParameter(url);
}

std::string replacePlaceholder(std::string text, std::string_view value) {
    if (std::size_t at = text.find("%@"); at != std::string::npos) {
        text.replace(at, 2, value);
    }
    return text;
}

}  // namespace

// Everything of one run. Lives on the main queue: begin() and every later step run there, and
// only the outcome flag is touched from other threads.
struct FileDownloadOperation::State : std::enable_shared_from_this<State> {
    // One thing to fetch: a part or a resource.
    struct Item {
        std::string address;
        std::string savePath;
        DownloadedContentCheck::Expected expected = DownloadedContentCheck::Expected::Unknown;
        // The validators of the copy at savePath. When either is set the server is asked
        // whether that copy is still current, and a 304 keeps it.
        std::optional<std::string> ifNoneMatch;
        std::optional<std::string> ifModifiedSince;
        bool conditional() const { return ifNoneMatch || ifModifiedSince; }
    };
    // What an item's successful transfer left: the copy's place, and the validators the server
    // sent with it. `notModified`: the server confirmed the copy already there.
    struct Arrival {
        std::string path;
        bool notModified = false;
        std::optional<std::string> eTag;
        std::optional<std::string> lastModified;
    };
    using Success = std::function<void(const Arrival& arrival)>;
    using Failure = std::function<void(const Error& error)>;

    std::int64_t fileID = 0;
    Completion completion;
    Progress progress;
    ErrorCallback error;
    Environment environment;

    // Set by whoever reports the outcome (completion or error callback), so exactly one does.
    std::atomic<bool> outcomeClaimed{false};

    // Main queue only from here on.
    std::shared_ptr<FileDownloadOperation> self;  // the running operation, until it ends
    bool started = false;
    bool ended = false;
    std::shared_ptr<PersistentStore> store;
    std::shared_ptr<HttpSession> session;
    std::vector<std::shared_ptr<HttpTask>> tasks;
    int pendingParts = 0;
    std::string title;
    std::optional<std::string> cachedToken;  // the keychain's token, read once until a renewal
    bool errorOccured = false;
    int numberOfErrors = 0;
    std::optional<Error> lastError;

    bool claimOutcome() { return !outcomeClaimed.exchange(true); }
    bool cancelled() const { return self && self->isCancelled(); }
    StoreContext& context() { return store->mainContext(); }

    void resolveEnvironment() {
        if (environment.serverURL.empty()) {
            environment.serverURL = InterfaceManager::sharedInstance().baseURL();
        }
        if (environment.sessionOptions.caBundlePath.empty()) {
            // The authorities the sign-in trusted are the ones the files come from.
            environment.sessionOptions.caBundlePath =
                InterfaceManager::sharedInstance().sessionOptions().caBundlePath;
        }
        if (!environment.store) {
            environment.store = PersistentStore::shared();
        }
        if (!environment.keychain) {
            environment.keychain = KeychainBridge::sharedPointer();
        }
        if (!environment.requestToken) {
            environment.requestToken = [](const std::string& username, const std::string& password,
                                          TokenCompletion done, ErrorCallback failed) {
                InterfaceManager::sharedInstance().getTokenWithUsername(
                    username, password,
                    [done = std::move(done)](std::optional<std::string> token,
                                             std::optional<std::string>) {
                        done(std::move(token));
                    },
                    std::move(failed));
            };
        }
        if (!environment.notifications) {
            environment.notifications = NotificationCenter::sharedPointer();
        }
        store = environment.store;
    }

    // ---- run

    void begin() {
        started = true;
        if (cancelled()) {
            endCancelled();
            return;
        }
        resolveEnvironment();
        if (!store) {
            recordError(Error::make(PersistentStore::kErrorDomain, 0, "The store is not open"));
            endWithOutcome();
            return;
        }
        auto found = File::findWithCmsID(context(), fileID);
        if (!found.ok() || !found.value()) {
            recordError(found.ok() ? Error::make(kErrorDomain, kDownloadFailedCode,
                                                 "No file " + std::to_string(fileID))
                                   : found.error());
            endWithOutcome();
            return;
        }
        const File file = *found.value();
        title = file.title.value_or("");
        PW_LOG_INFO("starting download of file: {}", title);
        session = environment.sessions ? environment.sessions->sessionFor(
                                             environment.serverURL, environment.sessionOptions)
                                       : std::make_shared<HttpSession>(environment.serverURL,
                                                                       environment.sessionOptions);

        // Parts may report at once (no address), so the count is set before any starts.
        pendingParts = 3;
        downloadFilePart(file);
        downloadThumbnailPart(file);
        downloadResourcesPart(file);
    }

    void partReported() {
        if (ended) {
            return;
        }
        if (--pendingParts == 0) {
            allPartsReported();
        }
    }

    void allPartsReported() {
        if (cancelled()) {
            endCancelled();
            return;
        }
        StoreContext& main = context();
        if (!errorOccured) {
            if (Status marked = markDownloaded(main); !marked.ok()) {
                main.rollback();
                PW_LOG_ERROR_VALUE(marked.error());
                recordError(marked.error());
            }
        }
        if (Status saved = main.save(); !saved.ok()) {
            PW_LOG_ERROR_VALUE(saved.error());
            recordError(saved.error());
        }
        endWithOutcome();
    }

    Status markDownloaded(StoreContext& main) {
        if (Status begun = main.beginWrite(); !begun.ok()) {
            return begun;
        }
        auto found = File::findWithCmsID(main, fileID);
        if (!found.ok()) {
            return found.error();
        }
        if (!found.value()) {
            return Error::make(kErrorDomain, kDownloadFailedCode,
                               "No file " + std::to_string(fileID));
        }
        File file = *found.value();
        file.downloaded = true;
        file.updateAvailable = false;
        if (Status written = file.update(main); !written.ok()) {
            return written;
        }
        auto state = file.fileStateForCurrentUser(main);
        if (!state.ok()) {
            return state.error();
        }
        if (state.value() && state.value()->removedByUser()) {
            FileState userState = *state.value();
            userState.pretendDeletion = false;
            return userState.update(main);
        }
        return {};
    }

    // The one report of a run that went through its parts (or could not start them).
    void endWithOutcome() {
        if (ended) {
            return;
        }
        if (!errorOccured) {
            reportProgress(1.0);
            PW_LOG_INFO("finished download of file: {}", title);
            if (claimOutcome()) {
                if (auto done = std::exchange(completion, nullptr)) {
                    done();
                }
            }
        } else {
            const Error failure = downloadError();
            reportProgress(1.0);
            PW_LOG_ERROR("finished with errors: {}", title);
            PW_LOG_ERROR_VALUE(failure);
            environment.notifications->post(notificationNameForErrorForFileWithID(fileID),
                                            ErrorInfo{failure, fileID});
            if (claimOutcome()) {
                completion = nullptr;
                if (auto failed = std::exchange(error, nullptr)) {
                    failed(failure);
                }
            }
        }
        endRun();
    }

    void endCancelled() {
        if (ended) {
            return;
        }
        if (claimOutcome()) {
            if (auto done = std::exchange(completion, nullptr)) {
                done();
            }
        }
        endRun();
    }

    void endRun() {
        auto keep = shared_from_this();
        ended = true;
        error = nullptr;
        progress = nullptr;
        for (const auto& task : tasks) {
            task->cancel();
        }
        tasks.clear();
        if (session) {
            // Not from inside one of its own completions: the session goes in a handler of
            // its own, still on the main queue as it requires.
            std::shared_ptr<HttpSession> doomed = std::move(session);
            MainQueue::shared().post([doomed]() mutable { doomed.reset(); });
        }
        if (auto operation = std::move(self)) {
            operation->finish();
        }
    }

    void cancelRequested() {
        if (!started || ended) {
            return;
        }
        endCancelled();
    }

    // ---- errors and progress

    void recordError(const Error& failure) {
        errorOccured = true;
        ++numberOfErrors;
        lastError = failure;
    }

    Error downloadError() const {
        const std::string reason = lastError && !lastError->description.empty()
                                       ? lastError->description
                                       : std::string(kNoDescription);
        const std::string text =
            environment.localizedText
                ? environment.localizedText(kDownloadFailedKey, kDownloadFailedFallback)
                : std::string(kDownloadFailedFallback);
        return Error::make(kErrorDomain, kDownloadFailedCode, replacePlaceholder(text, reason));
    }

    void reportProgress(double fraction) {
        if (progress) {
            progress(fraction);
        }
        environment.notifications->post(notificationNameForProgressChangeForFileWithID(fileID),
                                        ProgressInfo{fraction, fileID});
    }

    Error missingURL() {
        Error failure = Error::make(kErrorDomain, kDownloadFailedCode, kMissingURLReason);
        recordError(failure);
        return failure;
    }

    // ---- parts

    void downloadFilePart(const File& file) {
        if (!file.fileURL || file.fileURL->empty()) {
            missingURL();
            partReported();
            return;
        }
        const std::string url = *file.fileURL;
        PW_LOG_INFO("start downloading file: {}", shownURL(url));
        Item item;
        item.address = url;
        item.expected = DownloadedContentCheck::expectedFor(file.mimeType, url);
        // A copy whose name has another extension than the new address gets a new name, so
        // the type shown by its name stays true; the old one goes once the new is stored.
        const std::optional<std::string> copy = existingCopy(file.filePath);
        const bool sameKind = copy && fs::path(*copy).extension().string() ==
                                          dottedExtension(safeExtensionOfURL(url));
        item.savePath = savePathFor(sameKind ? file.filePath : std::nullopt, url);
        if (file.downloaded && copy && *copy == item.savePath) {
            item.ifNoneMatch = file.contentETag;
            item.ifModifiedSince = file.contentLastModified;
        }
        auto state = shared_from_this();
        downloadItem(
            std::move(item),
            [state, url](const Arrival& arrival) {
                PW_LOG_INFO("finished downloading file: {}", shownURL(url));
                state->storeFileCopy(arrival);
                state->partReported();
            },
            [state](const Error&) { state->partReported(); }, 0);
    }

    static std::string dottedExtension(const std::string& extension) {
        return extension.empty() ? std::string() : "." + extension;
    }

    // Applies one change to the main context and saves it; a failure is rolled back and counts
    // as a failed part, so the file is not marked downloaded.
    void saveChange(const std::function<Status(StoreContext&)>& change) {
        StoreContext& main = context();
        Status stored = main.beginWrite();
        if (stored.ok()) {
            stored = change(main);
        }
        if (stored.ok()) {
            stored = main.save();
        }
        if (!stored.ok()) {
            main.rollback();
            PW_LOG_ERROR_VALUE(stored.error());
            recordError(stored.error());
        }
    }

    // Stores where the copy is and the validators it came with. A copy replaced under another
    // name is removed only once the new name is committed, so the file always names a copy.
    void storeFileCopy(const Arrival& arrival) {
        saveChange([&](StoreContext& main) -> Status {
            auto found = File::findWithCmsID(main, fileID);
            if (!found.ok()) {
                return found.error();
            }
            if (!found.value()) {
                return {};
            }
            File file = *found.value();
            if (arrival.notModified) {
                // A 304 may renew the validators; without them the stored ones still hold.
                if (arrival.eTag) {
                    file.contentETag = arrival.eTag;
                }
                if (arrival.lastModified) {
                    file.contentLastModified = arrival.lastModified;
                }
                return file.update(main);
            }
            const std::string relative = StoredPath::getRelativePath(arrival.path);
            if (file.filePath && !file.filePath->empty() && *file.filePath != relative) {
                main.afterCommit(
                    [previous = *file.filePath] { StoredPath::removeStoredFile(previous); });
            }
            file.filePath = relative;
            file.contentETag = arrival.eTag;
            file.contentLastModified = arrival.lastModified;
            return file.update(main);
        });
    }

    void downloadThumbnailPart(const File& file) {
        auto found = Thumbnail::thumbnailOfFile(context(), file.pk);
        if (!found.ok()) {
            PW_LOG_ERROR_VALUE(found.error());
            recordError(found.error());
            partReported();
            return;
        }
        const std::optional<Thumbnail>& thumbnail = found.value();
        const std::string url = thumbnail ? thumbnailAddress(*thumbnail) : std::string();
        if (url.empty()) {
            // The server lists this file without a cover: there is nothing to fetch, and
            // failing here would refetch the file on every sync and report it failed for ever.
            partReported();
            return;
        }
        PW_LOG_INFO("start downloading thumbnail: {}", shownURL(url));
        auto state = shared_from_this();
        const std::int64_t thumbnailKey = thumbnail->pk;
        Item item;
        item.address = url;
        item.savePath = savePathFor(thumbnail->filePath, url);
        item.expected = DownloadedContentCheck::expectedFor(std::nullopt, url);
        downloadItem(
            std::move(item),
            [state, url, thumbnailKey](const Arrival& arrival) {
                PW_LOG_INFO("finished downloading thumbnail: {}", shownURL(url));
                state->storeThumbnailPath(thumbnailKey, arrival.path);
                state->partReported();
            },
            [state, url](const Error&) {
                PW_LOG_ERROR("Error while downloading thumbnail: {}", shownURL(url));
                state->partReported();
            },
            0);
    }

    // The 300-wide image of the thumbnail. The width goes into the path only, so an address
    // with scheme and host keeps them.
    static std::string thumbnailAddress(const Thumbnail& thumbnail) {
        if (!thumbnail.fileURL || thumbnail.fileURL->empty()) {
            return {};
        }
        const std::string& url = *thumbnail.fileURL;
        const std::size_t end = authorityEnd(url);
        if (end == std::string::npos) {
            return ThumbnailURL::thumbnailURLForWidth(url, kThumbnailWidth);
        }
        std::string path = ThumbnailURL::thumbnailURLForWidth(url.substr(end), kThumbnailWidth);
        return path.empty() ? std::string() : url.substr(0, end) + path;
    }

    void storeThumbnailPath(std::int64_t thumbnailKey, const std::string& saved) {
        saveChange([&](StoreContext& main) -> Status {
            auto found = Thumbnail::find(main, thumbnailKey);
            if (!found.ok()) {
                return found.error();
            }
            if (!found.value()) {
                return {};
            }
            Thumbnail thumbnail = *found.value();
            thumbnail.filePath = StoredPath::getRelativePath(saved);
            thumbnail.downloaded = true;
            return thumbnail.update(main);
        });
    }

    void downloadResourcesPart(const File& file) {
        auto found = Resource::resourcesOfFile(context(), file.pk);
        if (!found.ok()) {
            PW_LOG_ERROR_VALUE(found.error());
            recordError(found.error());
            partReported();
            return;
        }
        const std::vector<Resource> resources = found.value();
        if (resources.empty()) {
            partReported();
            return;
        }
        auto remaining = std::make_shared<std::size_t>(resources.size());
        auto state = shared_from_this();
        auto resourceReported = [state, remaining] {
            if (--*remaining == 0) {
                state->partReported();
            }
        };
        for (const Resource& resource : resources) {
            if (ended) {
                return;
            }
            if (!resource.url || resource.url->empty()) {
                missingURL();
                resourceReported();
                continue;
            }
            const std::string url = *resource.url;
            const std::int64_t resourceKey = resource.pk;
            PW_LOG_INFO("start downloading resource: {}", shownURL(url));
            Item item;
            item.address = url;
            item.savePath = savePathFor(resource.path, url);
            item.expected = DownloadedContentCheck::expectedFor(std::nullopt, url);
            downloadItem(
                std::move(item),
                [state, url, resourceKey, resourceReported](const Arrival& arrival) {
                    state->storeResourcePath(resourceKey, arrival.path);
                    PW_LOG_INFO("finished downloading resource: {}", shownURL(url));
                    resourceReported();
                },
                [url, resourceReported](const Error&) {
                    PW_LOG_ERROR("Error while downloading resource: {}", shownURL(url));
                    resourceReported();
                },
                0);
        }
    }

    void storeResourcePath(std::int64_t resourceKey, const std::string& saved) {
        saveChange([&](StoreContext& main) -> Status {
            auto found = Resource::find(main, resourceKey);
            if (!found.ok()) {
                return found.error();
            }
            if (!found.value()) {
                return {};
            }
            Resource resource = *found.value();
            resource.path = StoredPath::getRelativePath(saved);
            resource.downloaded = true;
            return resource.update(main);
        });
    }

    // ---- where a part goes

    // A stored path in the temporary area. Judged on the relative form, so a data directory
    // that happens to lie below a "tmp" folder does not count.
    static bool isTemporary(const std::string& stored) {
        const std::string relative =
            StoredPath::getRelativePath(StoredPath::getAbsolutePath(stored));
        return relative.rfind("/tmp/", 0) == 0;
    }

    // The absolute place of a stored copy that exists outside the temporary area.
    static std::optional<std::string> existingCopy(const std::optional<std::string>& stored) {
        if (!stored || stored->empty() || isTemporary(*stored)) {
            return std::nullopt;
        }
        auto place = StoredPath::resolveInsideAreas(*stored);
        std::error_code failed;
        if (!place || !fs::is_regular_file(*place, failed)) {
            return std::nullopt;
        }
        return place->string();
    }

    // The stored copy's place when there is a file there (outside the temporary area), else a
    // new name in the item directory.
    std::string savePathFor(const std::optional<std::string>& stored, std::string_view url) {
        if (auto copy = existingCopy(stored)) {
            return *copy;
        }
        const std::string directory =
            ItemDirectory::itemDirectoryForFile(static_cast<std::int32_t>(fileID));
        if (!FileSystem::setExcludedFromBackup(directory)) {
            PW_LOG_ERROR("Error excluding {} from backup {}", directory,
                         "the attribute could not be set");
        }
        std::string name =
            VXProtectedFileManager::createUniqueFilenameWithExtension(safeExtensionOfURL(url));
        if (!name.empty() && name.back() == '.') {
            name.pop_back();
        }
        return directory + "/" + name;
    }

    // ---- one item

    std::string currentToken() {
        if (!cachedToken) {
            cachedToken = environment.keychain->token();
        }
        return *cachedToken;
    }

    void downloadItem(Item item, Success succeeded, Failure failed, int retryCount) {
        if (ended) {
            return;
        }
        if (cancelled()) {
            endCancelled();
            return;
        }
        const std::string absolute = absoluteURL(item.address, environment.serverURL);
        if (retryCount >= kMaxTransfers) {
            PW_LOG_ERROR("Error while downloading: {}", shownURL(absolute));
            Error failure = Error::make(kRetryErrorDomain, kTooManyRetriesCode, kTooManyRetries);
            recordError(failure);
            failed(failure);
            return;
        }
        // The token is for the configured server only; another host never sees it.
        std::optional<std::string> sentToken;
        std::string url = absolute;
        if (session->isSameOrigin(absolute)) {
            sentToken = currentToken();
            url = urlWithToken(absolute, *sentToken);
        }
        ++retryCount;
        PW_LOG_INFO("Downloading file at: {}", shownURL(url));

        HttpRequest request;
        request.method = HttpMethod::Get;
        request.url = url;
        // The answer lands beside the copy under a name of its own and replaces the copy only
        // when it is complete and not empty.
        request.downloadPath = item.savePath + kPartialSuffix;
        if (item.ifNoneMatch) {
            request.setHeader("If-None-Match", *item.ifNoneMatch);
        }
        if (item.ifModifiedSince) {
            request.setHeader("If-Modified-Since", *item.ifModifiedSince);
        }
        if (item.conditional()) {
            request.additionalAcceptedStatuses.push_back(kNotModifiedStatus);
        }
        std::weak_ptr<State> weak = weak_from_this();
        request.downloadProgress = [weak](std::int64_t received, std::int64_t expected) {
            auto state = weak.lock();
            if (!state || state->ended || expected <= 0) {
                return;
            }
            const double fraction =
                std::min(1.0, static_cast<double>(received) / static_cast<double>(expected));
            if (fraction != 1.0) {
                state->reportProgress(fraction);
            }
        };
        auto task = std::make_shared<std::shared_ptr<HttpTask>>();
        *task = session->send(std::move(request), [state = shared_from_this(),
                                                   item = std::move(item), succeeded, failed,
                                                   retryCount, sentToken, task](HttpResult result) {
            state->forgetTask(*task);
            state->transferEnded(std::move(result), item, succeeded, failed, retryCount, sentToken);
        });
        tasks.push_back(*task);
    }

    void forgetTask(const std::shared_ptr<HttpTask>& task) {
        tasks.erase(std::remove(tasks.begin(), tasks.end(), task), tasks.end());
    }

    void transferEnded(HttpResult result, const Item& item, const Success& succeeded,
                       const Failure& failed, int retryCount,
                       const std::optional<std::string>& sentToken) {
        if (ended) {
            return;
        }
        const std::string& savePath = item.savePath;
        const std::string partial = savePath + kPartialSuffix;
        const std::string shown = shownURL(result.requestUrl);
        if (!result.ok()) {
            removePartial(partial);
            if (cancelled()) {
                endCancelled();
                return;
            }
            PW_LOG_ERROR("Error while downloading: {}", shown);
            PW_LOG_ERROR_VALUE(*result.error);
            recordError(*result.error);
            failed(*result.error);
            return;
        }
        Arrival arrival;
        arrival.path = savePath;
        arrival.eTag = result.response.header("ETag");
        arrival.lastModified = result.response.header("Last-Modified");
        if (result.response.status == kNotModifiedStatus) {
            removePartial(partial);
            PW_LOG_INFO("Not modified: {}", shown);
            arrival.notModified = true;
            succeeded(arrival);
            return;
        }
        std::error_code sizeFailed;
        const std::uintmax_t size = fs::file_size(partial, sizeFailed);
        const std::uintmax_t bytes = sizeFailed ? 0 : size;
        PW_LOG_INFO("Size: {}", bytes);
        if (bytes < 1) {
            // The server answers an expired token with an empty body.
            removePartial(partial);
            PW_LOG_WARNING("GOT SIZE 0 file/response for: {}", shown);
            auto state = shared_from_this();
            auto again = [state, item, succeeded, failed, retryCount] {
                state->downloadItem(item, succeeded, failed, retryCount);
            };
            renewToken(sentToken, std::move(again), failed);
            return;
        }
        if (const auto finding = DownloadedContentCheck::judgeFile(
                item.expected, result.response.contentType, partial);
            finding != DownloadedContentCheck::Finding::Ok) {
            // A login portal or an API answer in place of the document: the copy stays.
            removePartial(partial);
            const auto explanation = DownloadedContentCheck::explanationFor(finding);
            Error failure =
                Error::make(kErrorDomain, kUnexpectedContentCode,
                            environment.localizedText
                                ? environment.localizedText(explanation.key, explanation.fallback)
                                : std::string(explanation.fallback));
            PW_LOG_ERROR("Error while downloading: {}", shown);
            PW_LOG_ERROR_VALUE(failure);
            recordError(failure);
            failed(failure);
            return;
        }
        std::error_code renameFailed;
        fs::rename(partial, savePath, renameFailed);
        if (renameFailed) {
            removePartial(partial);
            Error failure =
                Error::make(kPosixErrorDomain, renameFailed.value(),
                            "Cannot move the download into place: " + renameFailed.message());
            PW_LOG_ERROR("Error while downloading: {}", shown);
            PW_LOG_ERROR_VALUE(failure);
            recordError(failure);
            failed(failure);
            return;
        }
        if (!FileSystem::setExcludedFromBackup(savePath)) {
            PW_LOG_ERROR("Error excluding {} from backup {}", savePath,
                         "the attribute could not be set");
        }
        if (Status protectedFile = VXProtectedFileManager::protectFileAtPath(savePath);
            !protectedFile.ok()) {
            PW_LOG_ERROR_VALUE(protectedFile.error());
        }
        succeeded(arrival);
    }

    static void removePartial(const std::string& partial) {
        std::error_code ignored;
        fs::remove(partial, ignored);
    }

    // ---- token renewal

    // Renews the token with the stored credentials, one operation at a time, and then runs
    // `again`. An operation that finds the token already renewed by another while it waited
    // fetches again without a login of its own; an answer that carried no token (another
    // host) is fetched again without renewing.
    void renewToken(const std::optional<std::string>& sentToken, std::function<void()> again,
                    const Failure& failed) {
        if (!sentToken) {
            again();
            return;
        }
        auto state = shared_from_this();
        TokenRenewalGate::instance().acquire([state, sentToken, again = std::move(again),
                                              failed](TokenRenewalGate::Lease lease) {
            if (state->ended) {
                return;
            }
            KeychainBridge& keychain = *state->environment.keychain;
            state->cachedToken.reset();
            const std::string stored = keychain.token();
            if (!stored.empty() && stored != *sentToken) {
                lease.reset();
                again();
                return;
            }
            const std::string username = keychain.username();
            const std::string password = keychain.password();
            auto held = std::make_shared<TokenRenewalGate::Lease>(std::move(lease));
            state->environment.requestToken(
                username, password,
                [state, held, again, failed, username, password](std::optional<std::string> fresh) {
                    if (fresh && !fresh->empty()) {
                        state->environment.keychain->saveUsername(username, password, *fresh);
                        state->cachedToken.reset();
                        held->reset();
                        again();
                        return;
                    }
                    held->reset();
                    if (state->ended) {
                        return;
                    }
                    Error failure =
                        Error::make(kTokenErrorDomain, kTokenRefreshErrorCode, kTokenRefreshError);
                    state->recordError(failure);
                    failed(failure);
                },
                [state, held, failed](const Error& refused) {
                    held->reset();
                    if (state->ended) {
                        return;
                    }
                    PW_LOG_ERROR("Error refreshing token during download");
                    PW_LOG_ERROR_VALUE(refused);
                    state->recordError(refused);
                    failed(refused);
                });
        });
    }
};

FileDownloadOperation::FileDownloadOperation(std::int64_t fileID, Completion completion,
                                             Progress progress, ErrorCallback error)
    : FileDownloadOperation(fileID, std::move(completion), std::move(progress), std::move(error),
                            sharedEnvironment()) {}

FileDownloadOperation::FileDownloadOperation(std::int64_t fileID, Completion completion,
                                             Progress progress, ErrorCallback error,
                                             Environment environment)
    : fileID_(fileID), state_(std::make_shared<State>()) {
    state_->fileID = fileID;
    state_->completion = std::move(completion);
    state_->progress = std::move(progress);
    state_->error = std::move(error);
    state_->environment = std::move(environment);
    // An operation cancelled before it ran never reaches main(); it still owes its completion.
    addObserver([weak = std::weak_ptr<State>(state_)](AsyncOperation&, Change change) {
        auto state = weak.lock();
        if (change != Change::Finished || !state || !state->claimOutcome()) {
            return;
        }
        MainQueue::shared().post([state] {
            state->error = nullptr;
            state->progress = nullptr;
            if (auto done = std::exchange(state->completion, nullptr)) {
                done();
            }
        });
    });
}

FileDownloadOperation::~FileDownloadOperation() = default;

FileDownloadOperation::Environment FileDownloadOperation::sharedEnvironment() {
    std::lock_guard lock(sharedEnvironmentMutex);
    return sharedEnvironmentSlot();
}

void FileDownloadOperation::setSharedEnvironment(Environment environment) {
    Environment previous;
    {
        std::lock_guard lock(sharedEnvironmentMutex);
        previous = std::exchange(sharedEnvironmentSlot(), std::move(environment));
    }
    // `previous` goes here, outside the lock.
}

void FileDownloadOperation::main() {
    state_->self = std::static_pointer_cast<FileDownloadOperation>(shared_from_this());
    MainQueue::shared().post([state = state_] { state->begin(); });
}

void FileDownloadOperation::onCancel() {
    MainQueue::shared().post([state = state_] { state->cancelRequested(); });
}

// ---- notifications

std::string FileDownloadOperation::notificationNameForProgressChangeForFileWithID(
    std::int64_t fileID) {
    return kProgressNotificationPrefix + std::to_string(fileID);
}

std::string FileDownloadOperation::notificationNameForErrorForFileWithID(std::int64_t fileID) {
    return kErrorNotificationPrefix + std::to_string(fileID);
}

NotificationCenter::Token FileDownloadOperation::addObserverForProgressChangeForFileWithID(
    std::int64_t fileID, std::function<void(const ProgressInfo& info)> observer) {
    return NotificationCenter::shared().addObserver(
        notificationNameForProgressChangeForFileWithID(fileID),
        [observer = std::move(observer)](const Notification& notification) {
            if (const auto* info = notification.userInfoAs<ProgressInfo>()) {
                observer(*info);
            }
        });
}

void FileDownloadOperation::removeObserverForProgressChangeForFileWithID(
    std::int64_t, NotificationCenter::Token token) {
    NotificationCenter::shared().removeObserver(token);
}

NotificationCenter::Token FileDownloadOperation::addObserverForErrorsForFileWithID(
    std::int64_t fileID, std::function<void(const ErrorInfo& info)> observer) {
    return NotificationCenter::shared().addObserver(
        notificationNameForErrorForFileWithID(fileID),
        [observer = std::move(observer)](const Notification& notification) {
            if (const auto* info = notification.userInfoAs<ErrorInfo>()) {
                observer(*info);
            }
        });
}

void FileDownloadOperation::removeObserverForErrorsForFileWithID(std::int64_t,
                                                                 NotificationCenter::Token token) {
    NotificationCenter::shared().removeObserver(token);
}

// ---- address rules

std::string FileDownloadOperation::urlWithToken(std::string_view url, std::string_view token) {
    const std::size_t fragment = url.find('#');
    std::string result(url.substr(0, fragment));
    result += result.find('?') == std::string::npos ? "?token=" : "&token=";
    result += HttpSession::escapeQueryValue(token);
    if (fragment != std::string_view::npos) {
        result += url.substr(fragment);
    }
    return result;
}

std::string FileDownloadOperation::safeExtensionOfURL(std::string_view url) {
    std::string_view path = url.substr(0, url.find_first_of("?#"));
    if (const std::size_t end = authorityEnd(path); end != std::string_view::npos) {
        path = path.substr(end);
    }
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    const std::string_view extension = name.substr(dot + 1);
    if (extension.empty() || extension.size() > kMaxExtensionLength ||
        !std::all_of(extension.begin(), extension.end(), isAlphanumeric)) {
        return {};
    }
    return std::string(extension);
}

std::string FileDownloadOperation::absoluteURL(std::string_view url, std::string_view serverURL) {
    if (hasScheme(url)) {
        return std::string(url);
    }
    const std::size_t end = authorityEnd(serverURL);
    std::string result(serverURL.substr(0, end == std::string_view::npos ? 0 : end));
    if (url.empty() || url.front() != '/') {
        result += '/';
    }
    result += url;
    return result;
}

}  // namespace pagewell
