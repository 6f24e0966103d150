#include "diag/RotatingFileLogSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <string_view>
#include <system_error>

#include "platform/FileSystem.h"

namespace pagewell {

namespace {

constexpr std::string_view kPrefix = "pagewell ";
constexpr std::string_view kExtension = ".log";
// "YYYY-MM-DD--HH-MM-SS-mmm"; 'd' stands for a digit.
constexpr std::string_view kStampPattern = "dddd-dd-dd--dd-dd-dd-ddd";
constexpr int kCounterDigits = 3;

// Creation order of a log file: the creation time in milliseconds, then a counter that only
// grows when two files would otherwise share a name.
struct FileKey {
    std::int64_t millis = 0;
    unsigned counter = 0;
    auto operator<=>(const FileKey&) const = default;
};

std::int64_t millisOf(SystemTime time) {
    using namespace std::chrono;
    return floor<milliseconds>(time.time_since_epoch()).count();
}

std::string fileNameFor(FileKey key) {
    const std::int64_t seconds = key.millis >= 0 ? key.millis / 1000 : (key.millis - 999) / 1000;
    const std::int64_t millis = key.millis - seconds * 1000;
    const std::time_t clockSeconds = static_cast<std::time_t>(seconds);
    std::tm utc{};
    ::gmtime_r(&clockSeconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d--%H-%M-%S", &utc);
    std::string counter =
        key.counter > 0 ? fmt::format("_{:0{}}", key.counter, kCounterDigits) : std::string();
    return fmt::format("{}{}-{:03}{}{}", kPrefix, stamp, millis, counter, kExtension);
}

bool readNumber(std::string_view text, int& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::optional<FileKey> parseFileName(std::string_view name) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kExtension)) {
        return std::nullopt;
    }
    std::string_view body = name.substr(kPrefix.size());
    body.remove_suffix(kExtension.size());
    if (body.size() < kStampPattern.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kStampPattern.size(); ++i) {
        const bool digit = body[i] >= '0' && body[i] <= '9';
        if ((kStampPattern[i] == 'd') != digit || (!digit && body[i] != kStampPattern[i])) {
            return std::nullopt;
        }
    }
    std::tm utc{};
    int millis = 0;
    if (!readNumber(body.substr(0, 4), utc.tm_year) || !readNumber(body.substr(5, 2), utc.tm_mon) ||
        !readNumber(body.substr(8, 2), utc.tm_mday) ||
        !readNumber(body.substr(12, 2), utc.tm_hour) ||
        !readNumber(body.substr(15, 2), utc.tm_min) ||
        !readNumber(body.substr(18, 2), utc.tm_sec) || !readNumber(body.substr(21, 3), millis)) {
        return std::nullopt;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    FileKey key{static_cast<std::int64_t>(::timegm(&utc)) * 1000 + millis, 0};

    std::string_view rest = body.substr(kStampPattern.size());
    if (!rest.empty()) {
        int counter = 0;
        if (rest.front() != '_' || !readNumber(rest.substr(1), counter) || counter <= 0) {
            return std::nullopt;
        }
        key.counter = static_cast<unsigned>(counter);
    }
    return key;
}

std::vector<std::pair<FileKey, std::filesystem::path>> keyedLogFiles(
    const std::filesystem::path& directory) {
    std::vector<std::pair<FileKey, std::filesystem::path>> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(directory, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) {
            continue;
        }
        if (auto key = parseFileName(it->path().filename().string())) {
            files.emplace_back(*key, it->path());
        }
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return files;
}

Status writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error::fromErrno(errno, "cannot write log file");
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

}  // namespace

RotatingFileLogSink::RotatingFileLogSink(Path directory)
    : RotatingFileLogSink(std::move(directory), Limits{}) {}

RotatingFileLogSink::RotatingFileLogSink(Path directory, Limits limits)
    : directory_(std::move(directory)), limits_(limits) {}

RotatingFileLogSink::~RotatingFileLogSink() {
    std::lock_guard lock(mutex_);
    closeLocked();
}

void RotatingFileLogSink::write(const LogMessage& message) {
    std::string line = formatter_.formatLogMessage(message);
    line += '\n';

    std::lock_guard lock(mutex_);
    const SystemTime now = Clock::shared().now();
    if (fd_ < 0) {
        continueNewestLocked(now);
    }
    if (fd_ >= 0) {
        const bool full = size_ > 0 && size_ + line.size() > limits_.maximumFileSize;
        const bool old = now - created_ >= limits_.rollingFrequency;
        if (full || old) {
            closeLocked();
        }
    }
    if (fd_ < 0) {
        if (Status status = createFileLocked(now); !status.ok()) {
            lastError_ = status.error();
            return;
        }
    }
    if (Status status = writeAll(fd_, line); !status.ok()) {
        lastError_ = status.error();
        // Reopened on the next line, which then continues this file or starts a new one.
        closeLocked();
        return;
    }
    size_ += line.size();
}

void RotatingFileLogSink::flush() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0 && ::fdatasync(fd_) != 0) {
        lastError_ = Error::fromErrno(errno, "cannot flush " + current_.string());
    }
}

std::vector<RotatingFileLogSink::Path> RotatingFileLogSink::logFiles() const {
    std::lock_guard lock(mutex_);
    return logFilesIn(directory_);
}

std::vector<RotatingFileLogSink::Path> RotatingFileLogSink::logFilesIn(const Path& directory) {
    std::vector<Path> paths;
    for (auto& [key, path] : keyedLogFiles(directory)) {
        paths.push_back(std::move(path));
    }
    return paths;
}

std::optional<RotatingFileLogSink::Path> RotatingFileLogSink::currentFile() const {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) {
        return std::nullopt;
    }
    return current_;
}

std::optional<Error> RotatingFileLogSink::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void RotatingFileLogSink::continueNewestLocked(SystemTime now) {
    auto files = keyedLogFiles(directory_);
    if (files.empty()) {
        return;
    }
    const auto& [key, path] = files.back();
    const SystemTime created{std::chrono::milliseconds(key.millis)};
    if (now - created >= limits_.rollingFrequency) {
        return;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) >= limits_.maximumFileSize) {
        ::close(fd);
        return;
    }
    // A file left by an older release may carry wider permissions.
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    fd_ = fd;
    current_ = path;
    size_ = static_cast<std::uint64_t>(info.st_size);
    created_ = created;
}

Status RotatingFileLogSink::createFileLocked(SystemTime now) {
    if (Status status = FileSystem::createDirectories(directory_); !status.ok()) {
        return status;
    }
    // The new name must sort after every existing one, even when the clock stands still or was
    // set back, because the newest file is the one continued after a restart.
    FileKey key{millisOf(now), 0};
    if (auto files = keyedLogFiles(directory_); !files.empty() && !(files.back().first < key)) {
        key = FileKey{files.back().first.millis, files.back().first.counter + 1};
    }
    for (int attempt = 0; attempt < 100; ++attempt, ++key.counter) {
        Path path = directory_ / fileNameFor(key);
        int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                   S_IRUSR | S_IWUSR);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Error::fromErrno(errno, "cannot create log file " + path.string());
        }
        fd_ = fd;
        current_ = std::move(path);
        size_ = 0;
        created_ = now;
        pruneLocked();
        return {};
    }
    return Error::fromErrno(EEXIST, "cannot create a log file in " + directory_.string());
}

void RotatingFileLogSink::pruneLocked() {
    auto files = keyedLogFiles(directory_);
    const std::size_t keep = std::max<std::size_t>(limits_.maximumNumberOfLogFiles, 1);
    for (std::size_t i = 0; i + keep < files.size(); ++i) {
        if (files[i].second == current_) {
            continue;
        }
        std::error_code ec;
        if (!std::filesystem::remove(files[i].second, ec) && ec) {
            lastError_ = Error::fromErrno(ec.value(), "cannot delete " + files[i].second.string());
        }
    }
}

void RotatingFileLogSink::closeLocked() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace pagewell
