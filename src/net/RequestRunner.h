#pragma once
// What the endpoint operations share beyond the request layer: the offline answers ("done" or
// the "Unreachable" error), the current-language check that runs the language selection instead
// of a request, the background queue on which answers are imported, and the small readers of
// answer keys. Each request class holds one runner.
//
// Threading: the member functions belong to the main thread (as the request layer does);
// inBackground() may be called from any thread and reports on the main queue.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class RequestRunner {
  public:
    using Json = nlohmann::json;
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;
    using JsonCompletion = InterfaceManager::JsonCompletion;

    RequestRunner(InterfaceManager& manager, EndpointDelegates& delegates)
        : manager_(manager), delegates_(delegates) {}

    InterfaceManager& manager() const { return manager_; }
    EndpointDelegates& delegates() const { return delegates_; }

    // The catalogue importer; without one, null after the missing-delegate error was posted to
    // `error`.
    std::shared_ptr<CatalogueImporting> importerOrFail(const ErrorCallback& error) const;
    // The change-timestamp store; without one, null after the missing-delegate error was posted
    // to `error`.
    std::shared_ptr<ChangeTimestamps> timestampsOrFail(const ErrorCallback& error) const;

    // In offline mode: posts `done` to the main queue and answers true (nothing is sent).
    bool finishedOffline(const Done& done) const;
    // In offline mode: posts the "Unreachable" error to `error` and answers true.
    bool refusedOffline(const ErrorCallback& error) const;

    // Runs `run` with the current language's server identifier. Without one the language
    // selection runs instead (logged "No Locale set"); it ends in `done` (no data) or, when the
    // languages cannot be fetched, in `error`. Without a registered language source: `error`.
    void withLocale(const std::function<void(const std::string& localeID)>& run, Done done,
                    ErrorCallback error) const;

    // Sends the request at `pathFor(localeID)` and hands its answer to `completion`. Offline, or
    // when the language selection runs instead, `completion` receives an empty answer.
    void fetchWithLocale(std::function<std::string(const std::string& localeID)> pathFor,
                         JsonCompletion completion, ErrorCallback error) const;

    // Posts `callback` to the main queue.
    static void onMain(std::function<void()> callback);
    // Runs `work` on the background queue of the imports, then `result` with its outcome on
    // the main queue.
    static void inBackground(std::function<Status()> work, std::function<void(Status)> result);

    // Logs `error` once and posts it to `callback`.
    static void fail(const ErrorCallback& callback, const Error& error);
    // Calls `completion` when `status` is ok; otherwise logs its error once and hands it to
    // `error` (both directly, on the calling thread).
    static void report(const Status& status, const Done& completion, const ErrorCallback& error);
    // `error` for the raw request layer, which also hands over the response.
    static InterfaceManager::RawErrorCallback plainError(ErrorCallback error);

    // Runs `change` in the store's main context and saves it; a failure is rolled back. Without
    // an open store: the store's error, nothing is run.
    static Status saveInMainContext(const std::function<Status(StoreContext&)>& change);

    // `path` followed by "&timestamp=" and the escaped timestamp, unless it is "0" or empty.
    static std::string withTimestamp(std::string path, const std::string& timestamp);
    // `path` followed by "&name=" and the escaped value.
    static std::string withQuery(std::string path, std::string_view name, std::string_view value);

    // The answer's "timestamp" as text (a number in decimal); none when absent or null.
    static std::optional<std::string> timestampOf(const Json& answer);
    // `key` of an object answer read as an integer (number or decimal text).
    static std::optional<std::int64_t> integerOf(const Json& answer, std::string_view key);
    // Whether the object answer says "success" true (a boolean, or a number other than 0).
    static bool succeeded(const Json& answer);
    // Whether the object answer has a list under `key`.
    static bool hasList(const Json& answer, std::string_view key);
    // The answer as text for a log line, secrets redacted and cut to a readable length.
    static std::string describe(const Json& answer);

    // "VXErrorDomain" -1 with `description`: an answer this operation cannot use.
    static Error badAnswer(std::string description);

  private:
    InterfaceManager& manager_;
    EndpointDelegates& delegates_;
};

}  // namespace pagewell
