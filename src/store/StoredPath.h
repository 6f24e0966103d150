#pragma once
// Paths of local copies as the store keeps them (File.filePath, Thumbnail.filePath and
// smallFilePath, Resource.path): relative to the data directory, beginning with "/Documents"
// or "/tmp", so that they survive a move of the data directory. Also the one guarded way to
// remove such a file: every deletion rule removes through removeStoredFile, once its
// transaction commits (removeStoredFileAfterCommit).
//
// Stateless; safe from any thread (removeStoredFileAfterCommit: the context's thread). The
// overloads without areas use FileAreas::shared().

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileAreas.h"

namespace pagewell {

class StoreContext;

class StoredPath {
  public:
    using Path = std::filesystem::path;

    // The absolute path with every occurrence of the folder holding the temporary directory,
    // then of the folder holding the documents directory, removed.
    static std::string getRelativePath(std::string_view absolute);
    static std::string getRelativePath(std::string_view absolute, const FileAreas& areas);

    // The usable form of a stored path. An absolute text is first cut back to start at its
    // first "Documents" or "tmp" component (so a path saved under an older data directory
    // follows the data to its current place); then the first occurrence of the temporary
    // directory's last component, else of the documents directory's last component, is
    // replaced by that full directory. Text matching neither comes back unchanged. This is a
    // text rule, not a safety check: use resolveInsideAreas before touching the file system.
    static std::string getAbsolutePath(std::string_view stored);
    static std::string getAbsolutePath(std::string_view stored, const FileAreas& areas);

    // The absolute form of a stored path, but only when it lies strictly below the documents,
    // temporary or caches area once ".." segments are folded and symbolic links resolved:
    // escapes through "..", absolute paths elsewhere, symbolic links (as a parent or as the
    // entry itself) leading out, and the area roots themselves give nullopt. The result names
    // the entry itself (its parents resolved): for a symbolic link inside an area, the link.
    static std::optional<Path> resolveInsideAreas(std::string_view stored);
    static std::optional<Path> resolveInsideAreas(std::string_view stored, const FileAreas& areas);

    // How a failed removal is reported. Both forms end in "Error[code]: description"; the
    // second first logs "error on file: <path>", as removing a file's own copy does.
    enum class FailureLog { kErrorOnly, kFileAndError };

    // Best-effort removal of the file a stored path names. An empty text or a missing file is
    // skipped silently; a path outside the areas is refused and logged; a failing removal is
    // logged. Nothing needs checking by the caller; the result (true when an entry was
    // removed) is for tests.
    static bool removeStoredFile(std::string_view stored,
                                 FailureLog failureLog = FailureLog::kErrorOnly);
    static bool removeStoredFile(std::string_view stored, const FileAreas& areas,
                                 FailureLog failureLog = FailureLog::kErrorOnly);

    // removeStoredFile once the context's open write transaction commits (not at all when it
    // rolls back; at once when no transaction is open): the removal a record's change asks for
    // happens only when that change is kept.
    static void removeStoredFileAfterCommit(StoreContext& context, std::string stored,
                                            FailureLog failureLog = FailureLog::kErrorOnly);
};

}  // namespace pagewell
