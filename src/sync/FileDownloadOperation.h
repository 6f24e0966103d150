#pragma once
// Brings one catalogue file onto the device: its content, its thumbnail (300 wide) and every
// resource, into the file's item directory, each excluded from backup and completely protected.
//
//   start ──▶ cancelled already? ──yes──▶ completion
//     │ no
//     ▼
//   file ─┬─ thumbnail ─┬─ resources (each at once)      all three parts run at the same time
//         ▼             ▼
//   every part reported (main queue)
//     ├─ none failed: File.downloaded, !updateAvailable, user's own removal undone, saved;
//     │               progress 1.0, completion
//     └─ some failed: progress 1.0, error notification, error callback ("VXFileDownload" -100)
//
// One item (a part or a resource):
//
//   address ──▶ no scheme? prefix the server's scheme, host and port
//           ──▶ on the server's origin? add token ("?token=" or "&token=")
//           ──▶ GET into "<name>.partial" in the item directory; for the content of a file
//               whose copy is at hand with validators, with If-None-Match / If-Modified-Since
//           ──▶ 304: the copy is current; it stays, and counts as arrived
//           ──▶ empty answer: the token expired; renew it under the process-wide lock and
//               fetch again (at most 3 transfers, then "Sync" 100 "Too many retries.")
//           ──▶ bytes that are not what the file's type promises (a web page, JSON, a "PDF"
//               without its signature, an image that does not decode): failed, -101
//           ──▶ bytes: renamed over the save path, excluded from backup, protected; the
//               file's ETag and Last-Modified stored with the copy's place
//
// The copy at the save path is replaced only by a complete transfer: an interrupted or refused
// update leaves the previous copy untouched, and no truncated file ever sits at a stored path.
// A copy whose new address has another extension arrives under a new name; the old copy is
// removed once the new name is committed.
// A server address never decides where a file is written: only 1 to 10 letters and digits of
// its extension are used for the new name.
//
// Cancelling ends the operation with its completion callback only; parts that already arrived
// keep their copies, and the file is not marked downloaded.
//
// Threading: the operation is started on a worker of the download queue and moves its work to
// the main queue at once; every callback, notification and store change happens there (store
// changes in the main context). Renewals of the token are serialised across all operations.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/AsyncOperation.h"
#include "platform/Error.h"
#include "platform/HttpSession.h"
#include "platform/NotificationCenter.h"
#include "sync/DownloadSessions.h"

namespace pagewell {

class KeychainBridge;
class MainQueue;
class PersistentStore;

class FileDownloadOperation : public AsyncOperation {
  public:
    using Completion = std::function<void()>;
    // A fraction from 0.0 to 1.0 of the item being transferred.
    using Progress = std::function<void(double progress)>;
    using ErrorCallback = std::function<void(const Error& error)>;
    using TokenCompletion = std::function<void(std::optional<std::string> token)>;
    // Asks the server for a new token with the stored user name and password; exactly one of the
    // two callbacks runs, on the main queue.
    using TokenRequest =
        std::function<void(const std::string& username, const std::string& password,
                           TokenCompletion completion, ErrorCallback error)>;
    // Finds the display text for a localisation key, the fallback when there is none.
    using TextLookup = std::function<std::string(std::string_view key, std::string_view fallback)>;

    // What an operation works with. Every member left empty takes the real process-wide object
    // when the operation starts, so ordinary callers pass nothing.
    struct Environment {
        // The configured server address ("CMSURL"); decides the scheme, host and port of
        // scheme-less addresses and which addresses get the token.
        std::string serverURL;
        std::shared_ptr<PersistentStore> store;
        std::shared_ptr<KeychainBridge> keychain;
        // Default: InterfaceManager::sharedInstance().getTokenWithUsername.
        TokenRequest requestToken;
        // Default: the English fallback.
        TextLookup localizedText;
        std::shared_ptr<NotificationCenter> notifications;
        // Limits of the transfers; an empty caBundlePath takes the shared InterfaceManager's.
        HttpSessionOptions sessionOptions;
        // The session shared with the other downloads, so they reuse its connections; without
        // it the operation opens a session of its own.
        std::shared_ptr<DownloadSessions> sessions;
    };

    // The user info of the progress notification.
    struct ProgressInfo {
        double progress = 0.0;
        std::int64_t fileID = 0;
    };
    // The user info of the error notification.
    struct ErrorInfo {
        Error error;
        std::int64_t fileID = 0;
    };

    FileDownloadOperation(std::int64_t fileID, Completion completion, Progress progress,
                          ErrorCallback error);
    FileDownloadOperation(std::int64_t fileID, Completion completion, Progress progress,
                          ErrorCallback error, Environment environment);
    ~FileDownloadOperation() override;

    std::int64_t fileID() const { return fileID_; }

    // The environment new operations start from; the application puts its text lookup here.
    // setSharedEnvironment({}) brings back the defaults.
    static Environment sharedEnvironment();
    static void setSharedEnvironment(Environment environment);

    // ---- per-file notifications

    static std::string notificationNameForProgressChangeForFileWithID(std::int64_t fileID);
    static std::string notificationNameForErrorForFileWithID(std::int64_t fileID);
    // Observers of one file's notifications on the shared NotificationCenter; the token removes
    // them again.
    static NotificationCenter::Token addObserverForProgressChangeForFileWithID(
        std::int64_t fileID, std::function<void(const ProgressInfo& info)> observer);
    static void removeObserverForProgressChangeForFileWithID(std::int64_t fileID,
                                                             NotificationCenter::Token token);
    static NotificationCenter::Token addObserverForErrorsForFileWithID(
        std::int64_t fileID, std::function<void(const ErrorInfo& info)> observer);
    static void removeObserverForErrorsForFileWithID(std::int64_t fileID,
                                                     NotificationCenter::Token token);

    // ---- address rules (public for tests)

    // `url` with the token parameter, "?token=" or "&token=" when a query is already there.
    static std::string urlWithToken(std::string_view url, std::string_view token);
    // The extension for a new file name: the last path component's text after its last dot,
    // query and fragment cut off, when it is 1 to 10 ASCII letters and digits; else empty.
    static std::string safeExtensionOfURL(std::string_view url);
    // A scheme-less address prefixed with the scheme, host and port of `serverURL`.
    static std::string absoluteURL(std::string_view url, std::string_view serverURL);

    static constexpr const char* kProgressNotificationPrefix = "kFDOProgressNotification_";
    static constexpr const char* kErrorNotificationPrefix = "kFDOErrorNotification_";
    static constexpr const char* kProgressKey = "progress";
    static constexpr const char* kErrorKey = "error";
    static constexpr const char* kFileIDKey = "fileID";

    static constexpr const char* kErrorDomain = "VXFileDownload";
    static constexpr int kDownloadFailedCode = -100;
    static constexpr const char* kDownloadFailedKey = "FILE_DOWN_ERROR";
    static constexpr const char* kDownloadFailedFallback =
        "It was not possible to download the file. <%@>";
    static constexpr const char* kMissingURLReason = "FileURL is nil";
    // The answer was not the file (a web page, JSON, bytes of another type); the description
    // says what came (DownloadedContentCheck).
    static constexpr int kUnexpectedContentCode = -101;
    static constexpr const char* kNoDescription = "No description";
    static constexpr const char* kRetryErrorDomain = "Sync";
    static constexpr int kTooManyRetriesCode = 100;
    static constexpr const char* kTooManyRetries = "Too many retries.";
    static constexpr const char* kTokenErrorDomain = "VX";
    static constexpr int kTokenRefreshErrorCode = -1;
    static constexpr const char* kTokenRefreshError = "Token refresh error";

    static constexpr int kThumbnailWidth = 300;
    static constexpr int kMaxTransfers = 3;
    static constexpr std::size_t kMaxExtensionLength = 10;
    static constexpr const char* kPartialSuffix = ".partial";
    static constexpr long kNotModifiedStatus = 304;

  protected:
    void main() override;
    void onCancel() override;

  private:
    struct State;
    const std::int64_t fileID_;
    std::shared_ptr<State> state_;
};

}  // namespace pagewell
