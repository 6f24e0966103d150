#pragma once
// The HTTP traffic log. The HTTP layer reports every transfer here (taskDidStart when a request
// is sent, taskDidComplete when it ends); while logging is on, the logger writes one line per
// event through the logging facade:
//
//   level 2 (brief, the initial level)   "GET 'https://host/api2/x?token=***'"
//                                        "200 'https://host/api2/x?token=***' [0.1234 s]"
//   level 1 (full)                        adds header fields and bodies
//   levels 1 to 4, failed transfers      "[Error] GET '...' (500) [0.1234 s]: Error[..]: ..."
//   level 0                               nothing
//
// Every address, header list and body goes through LogRedactor before it is printed. Elapsed
// times are measured with Clock::shared() from the remembered start of the task.
//
// Thread-safe: HTTP worker threads call taskDidStart/taskDidComplete concurrently with the main
// thread changing the level or filter; mutex_ guards all state. The filter predicate and the
// facade are called without holding mutex_.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "diag/HttpTraffic.h"
#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class AFNetworkLumberjackLogger {
  public:
    using TaskId = std::uint64_t;
    // Returns true for requests that must not be logged.
    using FilterPredicate = std::function<bool(const HttpTrafficRequest&)>;

    static constexpr int kLevelOff = 0;
    static constexpr int kLevelFull = 1;
    static constexpr int kLevelBrief = 2;

    // The process-wide logger the HTTP layer reports to; replaceable in tests (nullptr restores a
    // fresh one).
    static std::shared_ptr<AFNetworkLumberjackLogger> sharedLogger();
    static void setSharedLogger(std::shared_ptr<AFNetworkLumberjackLogger> logger);

    // Starts observing transfers; an earlier observation is stopped first, so remembered start
    // times are forgotten.
    void startLogging();
    void stopLogging();
    bool isLogging() const;

    void setLevel(int level);
    int level() const;
    void setFilterPredicate(FilterPredicate predicate);

    // Called by the HTTP layer, from any thread.
    void taskDidStart(TaskId task, const HttpTrafficRequest& request);
    void taskDidComplete(TaskId task, const HttpTrafficRequest& request,
                         const HttpTrafficResponse& response, const std::optional<Error>& error);

    // A form body as a key/value dictionary, e.g. {a = 1; b = "x y";}; none for no body. Values
    // are form-decoded ("+" as blank, percent escapes); a part without "=" is a key with an
    // empty value.
    static std::optional<std::string> bodyToPrintForRequest(std::string_view body);
    // The decoded answer of a completed transfer, secrets removed; "(null)" when there is none.
    static std::string objectToPrintForNotification(const HttpTrafficResponse& response);

  private:
    // Whether the request is to be logged; reads the filter under mutex_, calls it outside.
    bool passesFilter(const HttpTrafficRequest& request) const;

    mutable std::mutex mutex_;
    bool logging_ = false;                  // guarded by mutex_
    int level_ = kLevelBrief;               // guarded by mutex_
    FilterPredicate filter_;                // guarded by mutex_
    std::map<TaskId, SystemTime> started_;  // guarded by mutex_
};

}  // namespace pagewell
