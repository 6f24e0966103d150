#include "sync/VXProtectedFileManager.h"

#include <openssl/rand.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

std::mutex gManagerMutex;
std::shared_ptr<VXProtectedFileManager> gManager;  // guarded by gManagerMutex

Error managerError(int code) {
    const char* message = "";
    switch (code) {
        case VXProtectedFileManager::kFileNotCreated:
            message = "File could not be created";
            break;
        case VXProtectedFileManager::kNotEnoughFreeSpace:
            message = "Not enough free space on disk";
            break;
        case VXProtectedFileManager::kFileDoesNotExist:
            message = "File does not exist";
            break;
        case VXProtectedFileManager::kDeviceLocked:
            message = "Device is still locked";
            break;
        case VXProtectedFileManager::kRemovalOutsideAreas:
            message = "Refusing to remove outside the app's file areas";
            break;
        case VXProtectedFileManager::kPathOutsideArea:
            message = "Refusing to use a path outside the app's file areas";
            break;
        default:
            break;
    }
    return Error::make(VXProtectedFileManager::kErrorDomain, code, message);
}

// The "/"-separated parts of a relative name; empty and "." parts name nothing and are skipped.
void appendParts(std::string_view text, std::vector<std::string>& parts) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view part = text.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
}

// True when `path` lies below `root` (or is `root` itself when `allowRoot`); both canonical.
bool liesWithin(const std::filesystem::path& path, const std::filesystem::path& root,
                bool allowRoot) {
    std::filesystem::path relative = path.lexically_relative(root);
    if (relative.empty()) {
        return false;
    }
    if (relative == ".") {
        return allowRoot;
    }
    return *relative.begin() != "..";
}

// Free space of the nearest existing directory at or above `path`: before the documents
// directory is created, its parent's file system is the one that will hold it.
std::optional<std::uint64_t> freeSpaceOfNearestExisting(const std::filesystem::path& path) {
    std::filesystem::path probe = path;
    std::error_code ec;
    while (!probe.empty() && !std::filesystem::exists(probe, ec)) {
        if (probe == probe.parent_path()) {
            break;
        }
        probe = probe.parent_path();
    }
    return FileSystem::freeSpace(probe.empty() ? std::filesystem::path(".") : probe);
}

}  // namespace

VXProtectedFileManager::VXProtectedFileManager() : VXProtectedFileManager(std::nullopt, {}) {}

VXProtectedFileManager::VXProtectedFileManager(FileAreas areas, FreeSpaceProvider freeSpace)
    : VXProtectedFileManager(std::optional<FileAreas>(std::move(areas)), std::move(freeSpace)) {}

VXProtectedFileManager::VXProtectedFileManager(std::optional<FileAreas> areas,
                                               FreeSpaceProvider freeSpace)
    : areas_(std::move(areas)),
      freeSpace_(freeSpace ? std::move(freeSpace) : FreeSpaceProvider(freeSpaceOfNearestExisting)) {
}

VXProtectedFileManager& VXProtectedFileManager::sharedInstance() {
    std::lock_guard lock(gManagerMutex);
    if (!gManager) {
        gManager = std::make_shared<VXProtectedFileManager>();
    }
    return *gManager;
}

void VXProtectedFileManager::setSharedInstance(std::shared_ptr<VXProtectedFileManager> manager) {
    std::lock_guard lock(gManagerMutex);
    gManager = std::move(manager);
}

FileAreas VXProtectedFileManager::areas() const {
    return areas_ ? *areas_ : FileAreas::shared();
}

VXProtectedFileManager::Path VXProtectedFileManager::pathForDirectory(
    int area, std::string_view subdirectory) const {
    Path base;
    switch (area) {
        case kDocuments:
            base = areas().documents();
            break;
        case kTemporary:
            base = areas().temporary();
            break;
        case kCaches:
            base = areas().caches();
            break;
        default:
            return {};
    }
    std::size_t start = 0;
    while (start <= subdirectory.size()) {
        std::size_t end = subdirectory.find('/', start);
        if (end == std::string_view::npos) {
            end = subdirectory.size();
        }
        if (end > start) {
            base /= std::string(subdirectory.substr(start, end - start));
        }
        start = end + 1;
    }
    return base;
}

// Resolves area/subdirectory/fileName to the real place an operation would touch, following
// symbolic links in every existing directory on the way. The last part is not followed for
// writes, links and removals, because those replace or remove the entry itself; reads and
// listings follow it. The result must lie below the area root; only a listing may name the
// root itself.
Result<VXProtectedFileManager::Path> VXProtectedFileManager::resolve(int area,
                                                                     std::string_view subdirectory,
                                                                     std::string_view fileName,
                                                                     Access access) const {
    const int refusal = access == Access::Remove ? kRemovalOutsideAreas : kPathOutsideArea;
    const Path root = pathForDirectory(area);
    if (root.empty() || subdirectory.starts_with('/') || fileName.starts_with('/')) {
        return managerError(refusal);
    }
    std::vector<std::string> parts;
    appendParts(subdirectory, parts);
    appendParts(fileName, parts);

    std::error_code ec;
    const Path canonicalRoot = std::filesystem::weakly_canonical(root, ec);
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot resolve " + root.string());
    }
    Path target = root;
    for (const auto& part : parts) {
        target /= part;
    }
    const bool followLast = access == Access::Read || access == Access::List;
    Path resolved;
    if (parts.empty()) {
        resolved = canonicalRoot;
    } else if (followLast || parts.back() == "..") {
        resolved = std::filesystem::weakly_canonical(target, ec);
    } else {
        resolved = std::filesystem::weakly_canonical(target.parent_path(), ec) / parts.back();
    }
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot resolve " + target.string());
    }
    if (!liesWithin(resolved, canonicalRoot, access == Access::List)) {
        return managerError(refusal);
    }
    return resolved;
}

Result<std::vector<std::string>> VXProtectedFileManager::contentsForDirectory(
    int area, std::string_view subdirectory) const {
    auto directory = resolve(area, subdirectory, {}, Access::List);
    if (!directory.ok()) {
        return directory.error();
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(directory.value(), ec);
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot list " + directory.value().string());
    }
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot list " + directory.value().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

Status VXProtectedFileManager::writeProtectedDataToDirectory(int area, std::string_view data,
                                                             std::string_view fileName) const {
    return writeProtectedDataToDirectory(area, {}, data, fileName);
}

Status VXProtectedFileManager::writeProtectedDataToDirectory(int area,
                                                             std::string_view subdirectory,
                                                             std::string_view data,
                                                             std::string_view fileName) const {
    auto directory = resolve(area, subdirectory, {}, Access::List);
    if (!directory.ok()) {
        return directory.error();
    }
    auto target = resolve(area, subdirectory, fileName, Access::Write);
    if (!target.ok()) {
        return target.error();
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(directory.value(), ec)) {
        if (auto created = FileSystem::createDirectories(directory.value()); !created.ok()) {
            return created;
        }
    }
    if (!diskSpaceAvailableForFile(data)) {
        return managerError(kNotEnoughFreeSpace);
    }
    if (!FileSystem::writeFileAtomically(target.value(), data).ok() ||
        !FileSystem::protect(target.value()).ok()) {
        return managerError(kFileNotCreated);
    }
    return {};
}

Result<std::string> VXProtectedFileManager::readProtectedDataFromDirectory(
    int area, std::string_view fileName) const {
    return readProtectedDataFromDirectory(area, {}, fileName);
}

Result<std::string> VXProtectedFileManager::readProtectedDataFromDirectory(
    int area, std::string_view subdirectory, std::string_view fileName) const {
    if (!protectedDataAvailable()) {
        return managerError(kDeviceLocked);
    }
    auto target = resolve(area, subdirectory, fileName, Access::Read);
    if (!target.ok()) {
        return target.error();
    }
    std::error_code ec;
    auto status = std::filesystem::status(target.value(), ec);
    if (!std::filesystem::exists(status)) {
        return managerError(kFileDoesNotExist);
    }
    if (!std::filesystem::is_regular_file(status)) {
        return Error::fromErrno(EISDIR, "cannot read " + target.value().string());
    }
    return FileSystem::readFile(target.value());
}

Status VXProtectedFileManager::removeFile(int area, std::string_view subdirectory,
                                          std::string_view fileName) const {
    if (!protectedDataAvailable()) {
        return managerError(kDeviceLocked);
    }
    auto target = resolve(area, subdirectory, fileName, Access::Remove);
    if (!target.ok()) {
        return target.error();
    }
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target.value(), ec))) {
        return managerError(kFileDoesNotExist);
    }
    // remove_all does not follow symbolic links: a link is removed, its target stays.
    std::filesystem::remove_all(target.value(), ec);
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot remove " + target.value().string());
    }
    return {};
}

Status VXProtectedFileManager::removeDirectory(int area, std::string_view subdirectory) const {
    return removeFile(area, subdirectory, {});
}

std::string VXProtectedFileManager::createUniqueFilenameWithExtension(std::string_view extension) {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        // Names need to be unique, not secret; the system's random device will do.
        PW_LOG_WARNING("The crypto library has no random bytes, using the system random device");
        std::random_device device;
        for (auto& byte : bytes) {
            byte = static_cast<unsigned char>(device() & 0xffu);
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    name.reserve(33 + extension.size());
    for (unsigned char byte : bytes) {
        name.push_back(kHex[byte >> 4]);
        name.push_back(kHex[byte & 0x0f]);
    }
    name.push_back('.');
    name.append(extension);
    return name;
}

bool VXProtectedFileManager::diskSpaceAvailableForFile(std::string_view data) const {
    return diskSpaceAvailableForSize(data.size());
}

bool VXProtectedFileManager::diskSpaceAvailableForSize(std::uint64_t size) const {
    std::optional<std::uint64_t> available = freeSpace_(areas().documents());
    return available.has_value() && *available >= size;
}

Result<VXProtectedFileManager::Path> VXProtectedFileManager::prepareLink(
    int area, std::string_view subdirectory, std::string_view fileName) const {
    auto directory = resolve(area, subdirectory, {}, Access::List);
    if (!directory.ok()) {
        return directory.error();
    }
    auto target = resolve(area, subdirectory, fileName, Access::Write);
    if (!target.ok()) {
        return target.error();
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(directory.value(), ec)) {
        if (auto created = FileSystem::createDirectories(directory.value()); !created.ok()) {
            return created.error();
        }
    }
    return target;
}

Status VXProtectedFileManager::createSymbolicLinkInDirectory(int area,
                                                             std::string_view subdirectory,
                                                             std::string_view fileName,
                                                             const Path& originalPath) const {
    auto linkPath = prepareLink(area, subdirectory, fileName);
    if (!linkPath.ok()) {
        return linkPath.error();
    }
    std::error_code ec;
    std::filesystem::create_symlink(originalPath, linkPath.value(), ec);
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot link " + linkPath.value().string());
    }
    return {};
}

Status VXProtectedFileManager::createHardLinkInDirectory(int area, std::string_view subdirectory,
                                                         std::string_view fileName,
                                                         const Path& originalPath) const {
    auto linkPath = prepareLink(area, subdirectory, fileName);
    if (!linkPath.ok()) {
        return linkPath.error();
    }
    std::error_code ec;
    std::filesystem::create_hard_link(originalPath, linkPath.value(), ec);
    if (ec) {
        return Error::fromErrno(ec.value(), "cannot link " + linkPath.value().string());
    }
    return {};
}

Status VXProtectedFileManager::protectFileAtPath(const Path& path) {
    return FileSystem::protect(path);
}

}  // namespace pagewell
