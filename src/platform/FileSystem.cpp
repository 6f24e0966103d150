#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>

namespace pagewell {

namespace {

std::string temporarySibling(const FileSystem::Path& path) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    return path.string() + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(generator() & 0xffffffffu);
}

Status writeAll(int fd, std::string_view bytes, const std::string& what) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error::fromErrno(errno, "cannot write " + what);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return {};
}

}  // namespace

Status FileSystem::writeFileAtomically(const Path& path, std::string_view bytes) {
    const std::string temp = temporarySibling(path);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error::fromErrno(errno, "cannot create " + path.string());
    }
    Status status = writeAll(fd, bytes, path.string());
    if (status.ok() && ::fsync(fd) != 0) {
        status = Error::fromErrno(errno, "cannot write " + path.string());
    }
    if (::close(fd) != 0 && status.ok()) {
        status = Error::fromErrno(errno, "cannot write " + path.string());
    }
    if (status.ok() && ::rename(temp.c_str(), path.c_str()) != 0) {
        status = Error::fromErrno(errno, "cannot replace " + path.string());
    }
    if (!status.ok()) {
        ::unlink(temp.c_str());
    }
    return status;
}

Result<std::string> FileSystem::readFile(const Path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return Error::fromErrno(EISDIR, "cannot read " + path.string());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Error::fromErrno(errno ? errno : ENOENT, "cannot read " + path.string());
    }
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return Error::fromErrno(EIO, "cannot read " + path.string());
    }
    return bytes;
}

Status FileSystem::copyFileAtomically(const Path& from, const Path& to) {
    auto bytes = readFile(from);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return writeFileAtomically(to, bytes.value());
}

Status FileSystem::createDirectories(const Path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return {};
    }
    if (path.has_parent_path() && path.parent_path() != path) {
        if (auto parent = createDirectories(path.parent_path()); !parent.ok()) {
            return parent;
        }
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return Error::fromErrno(errno, "cannot create directory " + path.string());
    }
    return {};
}

Status FileSystem::protect(const Path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return Error::fromErrno(errno, "cannot protect " + path.string());
    }
    if (S_ISLNK(info.st_mode)) {
        return {};  // permissions of a link are those of its target, which is protected itself
    }
    mode_t mode = S_ISDIR(info.st_mode) ? 0700 : 0600;
    if (::chmod(path.c_str(), mode) != 0) {
        return Error::fromErrno(errno, "cannot protect " + path.string());
    }
    return {};
}

bool FileSystem::setExcludedFromBackup(const Path& path, bool excluded) {
    if (excluded) {
        return ::setxattr(path.c_str(), kBackupExclusionAttribute, "1", 1, 0) == 0;
    }
    return ::removexattr(path.c_str(), kBackupExclusionAttribute) == 0 || errno == ENODATA;
}

bool FileSystem::isExcludedFromBackup(const Path& path) {
    char value = 0;
    return ::getxattr(path.c_str(), kBackupExclusionAttribute, &value, 1) == 1 && value == '1';
}

std::optional<std::uint64_t> FileSystem::freeSpace(const Path& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

}  // namespace pagewell
