#pragma once
// Where the app keeps its files. Everything lives below one data directory so that one option
// moves all of it and renames stay on one file system:
//   Documents/        area 0   (settings, store, item directories)
//   tmp/              area 1
//   Library/Caches/   area 2
//   Library/Logs/     rotating log files
//   Library/Preferences/  user defaults
// Immutable after construction; the shared instance is replaceable in tests.

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/Error.h"

namespace pagewell {

class FileAreas {
  public:
    using Path = std::filesystem::path;

    explicit FileAreas(Path dataDirectory);

    const Path& dataDirectory() const { return dataDirectory_; }
    Path documents() const { return dataDirectory_ / "Documents"; }
    Path temporary() const { return dataDirectory_ / "tmp"; }
    Path caches() const { return dataDirectory_ / "Library" / "Caches"; }
    Path logs() const { return dataDirectory_ / "Library" / "Logs"; }
    Path preferences() const { return dataDirectory_ / "Library" / "Preferences"; }
    Path userDefaultsFile() const { return preferences() / "pagewell.plist"; }
    Path lockFile() const { return dataDirectory_ / ".lock"; }

    // Creates the data directory and every area, owner-only.
    Status createAll() const;

    // --data-dir, else $PAGEWELL_HOME, else $XDG_DATA_HOME/pagewell, else
    // ~/.local/share/pagewell. The result is absolute.
    static Path resolveDataDirectory(const std::optional<Path>& option);

    // The process-wide areas: set once at start (or by a test); until then the resolved default.
    static FileAreas& shared();
    static void setShared(std::shared_ptr<FileAreas> areas);

  private:
    Path dataDirectory_;
};

}  // namespace pagewell
