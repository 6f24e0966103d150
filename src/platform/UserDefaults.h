#pragma once
// Small persisted values under fixed keys (timestamps, consent flags, identifiers): one
// property-list dictionary in a file, read once when the store is created and written through
// on every change, so a crash never loses a value that set() reported as stored.
// Thread-safe: every member may be called from any thread; file writes are serialised.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace pagewell {

class UserDefaults {
  public:
    using Path = std::filesystem::path;

    // Reads `file` when it exists. A file that is not a property-list dictionary is logged and
    // read as empty; it stays untouched on disk until the next change replaces it.
    explicit UserDefaults(Path file);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const Path& file() const { return file_; }

    std::optional<PlistValue> get(const std::string& key) const;
    bool contains(const std::string& key) const;
    std::vector<std::string> allKeys() const;  // sorted

    // Lenient typed readers (see PlistValue); the fallback when the key is absent.
    std::string stringValue(const std::string& key, const std::string& fallback = {}) const;
    bool boolValue(const std::string& key, bool fallback = false) const;
    std::int64_t integerValue(const std::string& key, std::int64_t fallback = 0) const;
    double realValue(const std::string& key, double fallback = 0.0) const;

    // Both change the value in memory and then write the whole dictionary to the file. When the
    // write fails the error is returned, the value stays changed in memory and the next
    // successful write stores it.
    Status set(const std::string& key, PlistValue value);
    Status remove(const std::string& key);
    // Writes the current dictionary again (the platform's "synchronise"); writes are already
    // through, so this only matters after a failed write.
    Status synchronize();

    // The process-wide store on FileAreas::shared().userDefaultsFile(), created on first use;
    // replaceable in tests (nullptr makes the next call create the default again).
    static UserDefaults& shared();
    static void setShared(std::shared_ptr<UserDefaults> defaults);

  private:
    Status writeLocked() const;

    const Path file_;
    mutable std::mutex mutex_;
    PlistDict values_;  // guarded by mutex_
};

}  // namespace pagewell
