#pragma once
// The change timestamps of the catalogue requests: when the client sends the timestamp of its
// last successful import, the server answers with the changes since then; "0" (no timestamp
// known) asks for the full list. One set is kept per user and content language, as one
// dictionary in the user defaults under "kImportTimestampDictKey_<user name>_<locale ID>":
//
//   "kCatListTimestampDictKey"        the category list
//   "kAllFilesSyncTimestampDictKey"   the whole-catalogue synchronisation
//   "kCatItemTimestampDictKey_<ID>"   the file list of the category with server ID <ID>
//   "kCatItemTimestampDictKey_-1"     the highlight list
//
// The working dictionary is that user-defaults entry itself, looked up for the current user
// and language at every call. A language switch or a change of signed-in user therefore takes
// effect at the next call, every holder of a manager sees the same values, and one user can
// never read or extend another user's set, whether or not "LanguageSwitchEvent" was posted.
//
// With the "TimestampSyncEnabled" switch off every getter answers "0" and no setter writes:
// every synchronisation is then a full one. The resets work whatever the switch says.
//
// Writing rule: a timestamp names data the store holds. The importer calls a setter only after
// the transaction of the import the timestamp came with has committed (PendingTimestamps
// holds them until then); nothing here writes ahead of the store.
//
// Threading: every operation may be called from any thread. One process-wide mutex (in the
// .cpp) serialises every read-modify-write of the entries, across all instances and the resets.

#include <functional>
#include <optional>
#include <string>

#include "store/StoreHooks.h"

namespace pagewell {

class TimestampManager : public CategoryTimestamps {
  public:
    // Where the manager learns who is signed in, which language is current and whether
    // timestamps are used. An empty function means none (no user, no language, switch off).
    struct Sources {
        // The signed-in user's name; none when nobody is signed in.
        std::function<std::optional<std::string>()> currentUserName;
        // The current content language's server ID as decimal text; none when none is chosen.
        std::function<std::optional<std::string>()> currentLocaleID;
        // The application configuration's "TimestampSyncEnabled".
        std::function<bool()> timestampSyncEnabled;
    };

    explicit TimestampManager(Sources sources);

    // Getters: the stored value, or "0" when none is stored, the switch is off, or there is
    // no current user or language.
    std::string timestampForCategoryList() const;
    std::string timestampForAllFilesForSync() const;
    // `categoryID` is the server ID as decimal text.
    std::string timestampForCategoryID(const std::string& categoryID) const;
    std::string timestampForHighlights() const;

    // Setters: with the switch on and a current user and language, store the value and write
    // the whole entry through to the user defaults; otherwise nothing. Call them only after
    // the import that received the value has committed.
    void saveTimestampForCategoryList(const std::string& timestamp);
    void saveTimestampForAllFilesForSync(const std::string& timestamp);
    // Does nothing without a category ID (empty text).
    void saveTimestamp(const std::string& timestamp, const std::string& categoryID);
    void saveTimeStampForHighlights(const std::string& timestamp);

    // Forgets that category's timestamp (switch on only); its next file import is a full one.
    // Installed as the store's category hook, so deleting a category record calls this.
    void deleteTimestampForCategoryWithID(const std::string& categoryID) override;

    // Logs "Resetting timestamps for current user" and removes the current user's entry for
    // the current language. Other users' and languages' entries stay.
    void resetAllTimestampsForCurrentUser();

    // Logs "Resetting all timestamps" and removes every user-defaults entry whose key contains
    // "kImportTimestampDictKey", compared case- and diacritic-insensitively.
    static void resetAllTimestamps();

    // "kImportTimestampDictKey_<user name>_<locale ID>" for the current user and language;
    // none when either is missing.
    std::optional<std::string> currentEntryKey() const;
    static std::string entryKey(const std::string& userName, const std::string& localeID);

    static constexpr const char* kNoTimestamp = "0";
    static constexpr const char* kImportTimestampDictKey = "kImportTimestampDictKey";
    static constexpr const char* kCatListTimestampDictKey = "kCatListTimestampDictKey";
    static constexpr const char* kAllFilesSyncTimestampDictKey = "kAllFilesSyncTimestampDictKey";
    static constexpr const char* kCatItemTimestampDictKey = "kCatItemTimestampDictKey";
    static constexpr const char* kHighlightCategoryID = "-1";
    static constexpr const char* kResettingCurrentUserMessage =
        "Resetting timestamps for current user";
    static constexpr const char* kResettingAllMessage = "Resetting all timestamps";

  private:
    std::string read(const std::string& timestampKey) const;
    void write(const std::string& timestampKey, const std::optional<std::string>& timestamp);
    bool enabled() const;

    Sources sources_;
};

}  // namespace pagewell
