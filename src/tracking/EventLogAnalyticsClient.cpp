#include "tracking/EventLogAnalyticsClient.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <system_error>

#include <fmt/format.h>

#include "platform/Clock.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

std::string utcTimestamp(SystemTime time) {
    using namespace std::chrono;
    auto millis = duration_cast<milliseconds>(time.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(millis / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", tm.tm_year + 1900,
                       tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       static_cast<int>(millis % 1000));
}

}  // namespace

EventLogAnalyticsClient::EventLogAnalyticsClient(std::filesystem::path file)
    : file_(std::move(file)) {}

void EventLogAnalyticsClient::record(const std::string& service, const nlohmann::json& fields) {
    nlohmann::json entry = {{"time", utcTimestamp(Clock::shared().now())}, {"service", service}};
    if (fields.is_object()) {
        for (auto it = fields.begin(); it != fields.end(); ++it)
            entry[it.key()] = it.value();
    }
    std::string line = entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line.push_back('\n');
    std::lock_guard lock(mutex_);
    Status status = append(line);
    if (!status) {
        PW_LOG_ERROR_VALUE(status.error());
        lastError_ = status.error();
    }
}

std::optional<Error> EventLogAnalyticsClient::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

EventLogAnalyticsClient::~EventLogAnalyticsClient() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

void EventLogAnalyticsClient::closeLocked() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

Status EventLogAnalyticsClient::openLocked() {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec)
        return Error::fromErrno(ec.value(), "create " + file_.parent_path().string());
    int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Error::fromErrno(errno, "open " + file_.string());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int saved = errno;
        ::close(fd);
        return Error::fromErrno(saved ? saved : EINVAL, "open " + file_.string());
    }
    ::fchmod(fd, 0600);
    fd_ = fd;
    size_ = static_cast<std::uintmax_t>(st.st_size);
    return {};
}

Status EventLogAnalyticsClient::append(const std::string& line) {
    if (fd_ < 0) {
        if (Status status = openLocked(); !status)
            return status;
    }
    if (size_ > 0 && size_ + line.size() > kRotateBytes) {
        std::filesystem::path rotated = file_;
        rotated += ".1";
        closeLocked();
        if (::rename(file_.c_str(), rotated.c_str()) != 0) {
            return Error::fromErrno(errno, "rotate " + file_.string());
        }
        if (Status status = openLocked(); !status)
            return status;
    }
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            closeLocked();
            return Error::fromErrno(saved, "write " + file_.string());
        }
        data += written;
        left -= static_cast<std::size_t>(written);
        size_ += static_cast<std::uintmax_t>(written);
    }
    return {};
}

}  // namespace pagewell
