#pragma once
// The app's protected file areas: documents (area 0), temporary (1) and caches (2) below the
// data directory. Every directory and file created here gets the protection step (owner-only
// permissions); file contents are stored as they are. Writes go through a temporary file and
// rename. No operation reaches outside the area it names: ".." segments, absolute names and
// symbolic links that lead out are refused, and a removal never takes an area root itself.
//
// Threading: the operations are stateless and may run on any thread. The protected-data flag
// is atomic; it is written from outside (the locked-state notifications) and read anywhere.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/FileAreas.h"

namespace pagewell {

class VXProtectedFileManager {
  public:
    using Path = std::filesystem::path;
    // Bytes free on the file system holding the given path; nullopt when it cannot be read.
    using FreeSpaceProvider = std::function<std::optional<std::uint64_t>(const Path&)>;

    static constexpr const char* kErrorDomain = "VXProtectedFileManagerErrorDomain";
    enum ErrorCode : int {
        kFileNotCreated = 100,       // "File could not be created"
        kNotEnoughFreeSpace = 101,   // "Not enough free space on disk"
        kFileDoesNotExist = 102,     // "File does not exist"
        kDeviceLocked = 103,         // "Device is still locked"
        kRemovalOutsideAreas = 104,  // "Refusing to remove outside the app's file areas"
        kPathOutsideArea = 105,      // "Refusing to use a path outside the app's file areas"
    };
    enum Area : int { kDocuments = 0, kTemporary = 1, kCaches = 2 };

    // Follows FileAreas::shared(), so a data directory chosen at start-up is honoured.
    VXProtectedFileManager();
    // Fixed areas and, optionally, a free-space source (tests simulate a full disk with it).
    explicit VXProtectedFileManager(FileAreas areas, FreeSpaceProvider freeSpace = {});
    VXProtectedFileManager(const VXProtectedFileManager&) = delete;
    VXProtectedFileManager& operator=(const VXProtectedFileManager&) = delete;

    // Created on first use; replaceable in tests (nullptr makes the next call create it again).
    static VXProtectedFileManager& sharedInstance();
    static void setSharedInstance(std::shared_ptr<VXProtectedFileManager> manager);

    // The area's base directory with each "/"-separated part of `subdirectory` appended in
    // order (empty parts are skipped); the empty path for an unknown area code.
    Path pathForDirectory(int area, std::string_view subdirectory = {}) const;

    // The names in the directory, sorted; the system's error when it cannot be listed.
    Result<std::vector<std::string>> contentsForDirectory(int area,
                                                          std::string_view subdirectory) const;

    // Creates the directory when missing, checks the free space (101), then writes the file
    // through a temporary file and rename, replacing an existing one (100 on failure).
    Status writeProtectedDataToDirectory(int area, std::string_view data,
                                         std::string_view fileName) const;
    Status writeProtectedDataToDirectory(int area, std::string_view subdirectory,
                                         std::string_view data, std::string_view fileName) const;

    // The file's bytes; 103 while protected data is unavailable, 102 when the file is missing.
    Result<std::string> readProtectedDataFromDirectory(int area, std::string_view fileName) const;
    Result<std::string> readProtectedDataFromDirectory(int area, std::string_view subdirectory,
                                                       std::string_view fileName) const;

    // Removes directory/name, recursively for a directory; an empty name means the directory
    // itself. A symbolic link is removed, not its target. 103 while protected data is
    // unavailable (nothing is touched), 104 for an area root or a place outside the area,
    // 102 when nothing is there.
    Status removeFile(int area, std::string_view subdirectory,
                      std::string_view fileName = {}) const;
    Status removeDirectory(int area, std::string_view subdirectory) const;

    // A fresh random UUID, upper case without "-", then "." and the extension.
    static std::string createUniqueFilenameWithExtension(std::string_view extension);

    // Whether the file system holding the documents directory has room for the bytes; false
    // when its free space cannot be read.
    bool diskSpaceAvailableForFile(std::string_view data) const;
    bool diskSpaceAvailableForSize(std::uint64_t size) const;

    // Create the directory when missing (protected), then a symbolic or hard link at
    // directory/name to `originalPath`. An existing entry at that place is an error.
    Status createSymbolicLinkInDirectory(int area, std::string_view subdirectory,
                                         std::string_view fileName, const Path& originalPath) const;
    Status createHardLinkInDirectory(int area, std::string_view subdirectory,
                                     std::string_view fileName, const Path& originalPath) const;

    // The protection step on an existing file (every downloaded file gets it).
    static Status protectFileAtPath(const Path& path);

    bool protectedDataAvailable() const { return protectedDataAvailable_.load(); }
    void setProtectedDataAvailable(bool available) { protectedDataAvailable_.store(available); }

  private:
    enum class Access { Read, Write, Remove, List };
    VXProtectedFileManager(std::optional<FileAreas> areas, FreeSpaceProvider freeSpace);
    FileAreas areas() const;
    Result<Path> resolve(int area, std::string_view subdirectory, std::string_view fileName,
                         Access access) const;
    // The place of a new link, its directory created when missing.
    Result<Path> prepareLink(int area, std::string_view subdirectory,
                             std::string_view fileName) const;

    const std::optional<FileAreas> areas_;  // nullopt: follow FileAreas::shared()
    const FreeSpaceProvider freeSpace_;
    std::atomic<bool> protectedDataAvailable_{true};
};

}  // namespace pagewell
