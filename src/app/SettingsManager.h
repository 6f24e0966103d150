#pragma once
// The user settings: groups of switches, steppers and informational rows kept in the live
// property list "Default.plist" in the documents area. The live file starts as a copy of the
// shipped "DefaultSettings.plist"; when a release ships different defaults (the digest of the
// shipped file differs from the ".orig" snapshot of the release that last wrote the live file)
// the user's values are carried over into the new defaults.
//
// Threading: every public operation may be called from any thread; mutex_ guards the in-memory
// settings and the error states. The live file is only written under mutex_.
//
// Damaged data is never replaced behind the user's back: a live file that cannot be read or
// parsed leaves an empty store (every lookup answers none) with loadError() set, and writes are
// refused until the file is repaired or removed. A merge that fails leaves the previous live
// file and snapshot in place, so the next start tries again.

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace pagewell {

class SettingsManager {
  public:
    using Path = std::filesystem::path;
    // Writes a whole file atomically and owner-only; replaceable so tests can inject failures.
    using FileWriter = std::function<Status(const Path& path, std::string_view bytes)>;

    // Opens the settings in `documentsDirectory`, creating the live file from `shippedDefaults`
    // when missing and merging when the shipped defaults changed. Never fails: problems are
    // logged and kept in loadError() / updateError().
    SettingsManager(Path documentsDirectory, Path shippedDefaults, FileWriter writer = {});

    SettingsManager(const SettingsManager&) = delete;
    SettingsManager& operator=(const SettingsManager&) = delete;

    // The process-wide settings, opened on first use in FileAreas::shared().documents() with
    // the shipped defaults of ShippedResources; setSharedInstance replaces them (nullptr: reopen
    // on next use).
    static SettingsManager& sharedInstance();
    static void setSharedInstance(std::shared_ptr<SettingsManager> manager);

    // The "value" of the last setting `key` in any group `group`, or none.
    std::optional<PlistValue> getSettingInGroup(const std::string& group,
                                                const std::string& key) const;
    // Sets "value" of every matching setting and rewrites the whole live file atomically. The
    // in-memory settings change only when the file was written. Fails (and logs) when nothing
    // matches, when the store could not be loaded, or when the write fails.
    Status writeSettingInGroup(const std::string& group, const std::string& key, PlistValue value);

    // The array under "Groups" (empty when the store is empty).
    PlistArray getSettingGroups() const;
    // The last group dictionary whose "key" matches, or none.
    std::optional<PlistDict> getSettingsForGroup(const std::string& key) const;
    // The last setting dictionary `key` in group `group`, or none.
    std::optional<PlistDict> getSettingDictionary(const std::string& group,
                                                  const std::string& key) const;
    // The live file's path, creating it from the shipped defaults first when missing; none when
    // it could not be created.
    std::optional<Path> getPathForWritablePlist();

    // Why the store is empty (live file missing and not creatable, unreadable or damaged).
    std::optional<Error> loadError() const;
    // Why the check for new shipped defaults or the merge did not complete; the store then
    // holds the previous values.
    std::optional<Error> updateError() const;

    const Path& livePath() const { return livePath_; }
    Path snapshotPath() const { return Path(livePath_.string() + kSnapshotSuffix); }
    const Path& shippedPath() const { return shippedPath_; }

    // Lower-case hexadecimal MD5 digest.
    static std::string md5Hex(std::string_view bytes);

    static constexpr const char* kLiveFileName = "Default.plist";
    static constexpr const char* kSnapshotSuffix = ".orig";
    static constexpr const char* kShippedFileName = "DefaultSettings.plist";
    static constexpr const char* kErrorDomain = "SettingsErrorDomain";
    enum ErrorCode : int {
        kDamagedSettings = 1,   // a settings file that is not a dictionary with a "Groups" array
        kStoreUnusable = 2,     // a write refused because the live file could not be loaded
        kSettingNotFound = 3,   // no setting with that group and key
        kShippedUnreadable = 4  // the shipped defaults cannot be read
    };

  private:
    void _open();
    Status _createLiveFileIfMissing();
    Status _syncNewSettings(const std::string& shippedBytes);
    Result<std::string> _readShipped() const;
    Status _fail(Error error, std::optional<Error>& slot);

    const Path documentsDirectory_;
    const Path livePath_;
    const Path shippedPath_;
    const FileWriter writer_;

    mutable std::mutex mutex_;
    PlistValue settings_;               // guarded by mutex_; the live file's root dictionary
    std::optional<Error> loadError_;    // guarded by mutex_
    std::optional<Error> updateError_;  // guarded by mutex_
};

}  // namespace pagewell
