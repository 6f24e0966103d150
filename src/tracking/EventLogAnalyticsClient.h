#pragma once
// Records every analytics call as one JSON line {"time", "service", ...fields} in an owner-only
// event log. When the log reaches kRotateBytes it is renamed to "<name>.1" (replacing an older
// one) and a new log begins, so the log never grows without bound.
//
// Threading: record() may be called from any thread; mutex_ serialises the appends.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/Error.h"
#include "tracking/AnalyticsClient.h"

namespace pagewell {

class EventLogAnalyticsClient final : public AnalyticsClient {
  public:
    static constexpr std::uintmax_t kRotateBytes = 1024 * 1024;

    explicit EventLogAnalyticsClient(std::filesystem::path file);
    ~EventLogAnalyticsClient() override;
    EventLogAnalyticsClient(const EventLogAnalyticsClient&) = delete;
    EventLogAnalyticsClient& operator=(const EventLogAnalyticsClient&) = delete;

    void record(const std::string& service, const nlohmann::json& fields) override;
    const std::filesystem::path& file() const { return file_; }
    // The last failure to write (logged once per failure), or none.
    std::optional<Error> lastError() const;

  private:
    Status append(const std::string& line);
    Status openLocked();
    void closeLocked();

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::optional<Error> lastError_;  // guarded by mutex_
    // The log stays open between calls; size_ follows what was appended since it was opened.
    int fd_ = -1;              // guarded by mutex_
    std::uintmax_t size_ = 0;  // guarded by mutex_
};

}  // namespace pagewell
