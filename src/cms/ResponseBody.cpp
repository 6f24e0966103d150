#include "cms/ResponseBody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace pagewell::cms {

ResponseBody::ResponseBody(std::string text) : text_(std::move(text)), size_(text_.size()) {}

ResponseBody::ResponseBody(int fd, std::uint64_t size)
    : fd_(fd), size_(size), buffer_(std::make_unique<char[]>(kBlockBytes)) {}

ResponseBody::~ResponseBody() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

Result<std::unique_ptr<ResponseBody>> ResponseBody::open(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Error::fromErrno(errno, "cannot open " + path.string());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int failure = errno ? errno : EINVAL;
        ::close(fd);
        return Error::fromErrno(failure, "cannot serve " + path.string());
    }
    // The whole file is read front to back; tell the kernel so it reads ahead generously.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::unique_ptr<ResponseBody>(
        new ResponseBody(fd, static_cast<std::uint64_t>(info.st_size)));
}

Result<std::string_view> ResponseBody::read(std::uint64_t offset, std::uint64_t maxLength) {
    if (offset >= size_) {
        return std::string_view{};
    }
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>({maxLength, size_ - offset, kBlockBytes}));
    if (fd_ < 0) {
        return std::string_view(text_).substr(static_cast<std::size_t>(offset), wanted);
    }
    while (true) {
        const ssize_t got = ::pread(fd_, buffer_.get(), wanted, static_cast<off_t>(offset));
        if (got > 0) {
            return std::string_view(buffer_.get(), static_cast<std::size_t>(got));
        }
        if (got == 0) {
            // Shorter than when it was opened: the promised length can no longer be kept.
            return Error::make(kErrorDomain, 1, "the file became shorter while it was sent");
        }
        if (errno != EINTR) {
            return Error::fromErrno(errno, "cannot read the file being sent");
        }
    }
}

std::optional<ResponseBody::Range> ResponseBody::resolve(std::optional<std::uint64_t> first,
                                                         std::optional<std::uint64_t> last,
                                                         std::uint64_t size) {
    if (size == 0) {
        return std::nullopt;
    }
    if (!first) {
        // "bytes=-N": the last N bytes, all of them when the body is shorter.
        if (!last || *last == 0) {
            return std::nullopt;
        }
        return Range{size - std::min(*last, size), size - 1};
    }
    if (*first >= size || (last && *last < *first)) {
        return std::nullopt;
    }
    return Range{*first, last ? std::min(*last, size - 1) : size - 1};
}

}  // namespace pagewell::cms
