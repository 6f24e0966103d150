#pragma once
// File-system operations every module shares. Everything created here is owner-only
// (files 0600, directories 0700), and persisted files are never truncated in place: they are
// written to a temporary file in the same directory and renamed over the old one.
// Stateless; safe from any thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace pagewell {

class FileSystem {
  public:
    using Path = std::filesystem::path;

    static Status writeFileAtomically(const Path& path, std::string_view bytes);
    static Result<std::string> readFile(const Path& path);
    // Copies through a temporary file and rename, so a reader never sees half a copy.
    static Status copyFileAtomically(const Path& from, const Path& to);
    // Creates the directory and missing parents, each new one owner-only.
    static Status createDirectories(const Path& path);
    // The protection step: owner-only permissions (0600 for files, 0700 for directories).
    static Status protect(const Path& path);
    // Marks a file as not to be backed up (extended attribute); best effort, false on failure.
    static bool setExcludedFromBackup(const Path& path, bool excluded = true);
    static bool isExcludedFromBackup(const Path& path);
    // Bytes available to an unprivileged user on the file system holding `path`.
    static std::optional<std::uint64_t> freeSpace(const Path& path);

    static constexpr const char* kBackupExclusionAttribute = "user.pagewell.exclude-from-backup";
};

}  // namespace pagewell
