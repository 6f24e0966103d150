#pragma once
// The live catalogue of a running server: the loaded Catalogue plus a revision counter that
// makes change answers possible. Every answer carries the current revision as its "timestamp";
// a request that sends an earlier revision back gets only what changed since, plus the lists
// of what was deleted or taken away. Revisions start at the load time in milliseconds, so a
// restarted server never hands out a revision a client already holds; a revision from before
// the load (or from the future) gets a full answer.
//
// Thread-safe: every public member takes mutex_; answers are built from one consistent state.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cms/Catalogue.h"
#include "platform/Error.h"

namespace pagewell::cms {

// What a download address names: a file on disk below the catalogue directory, or bytes that a
// test hook put in place of the file's content.
struct DownloadItem {
    std::filesystem::path path;
    std::optional<std::string> bytes;
    std::string mimeType;
    // A catalogue file's modification date (answered as Last-Modified); none for images and
    // assets.
    std::optional<std::chrono::system_clock::time_point> modified;
};

// A file added by a test hook; its content lives in memory.
struct NewFile {
    int id = 0;
    std::string title;
    std::string name;  // last segment of its address, e.g. "new.pdf"
    std::string mimeType;
    std::string content;
    std::string thumbnail;  // an image already in the catalogue directory; empty: none
    std::vector<int> locales;
    std::vector<int> categories;
    std::optional<std::vector<int>> users;
    bool highlight = false;
};

struct NewCategory {
    int id = 0;
    int locale = 0;
    std::string title;
    std::vector<int> parents;
    std::optional<std::vector<int>> users;
};

class CatalogueState {
  public:
    using Revision = std::int64_t;
    static constexpr const char* kErrorDomain = "CatalogueState";
    enum ErrorCode { kNotFound = 404, kConflict = 409, kInvalid = 400 };

    explicit CatalogueState(Catalogue catalogue);

    Revision revision() const;
    // Runs `reader` with the catalogue under the lock; for endpoints that read side lists.
    void read(const std::function<void(const Catalogue&)>& reader) const;

    // The signed-in user's id when name and password match.
    std::optional<CatalogueUser> userWithCredentials(std::string_view username,
                                                     std::string_view password) const;
    std::optional<CatalogueUser> user(int id) const;

    // Answers of the catalogue endpoints, as JSON text. `since` is the revision the client
    // sent with "timestamp"; none asks for the full answer.
    std::string localeList(int user) const;
    std::string categoryList(int user, int locale, std::optional<Revision> since) const;
    std::string categoryModified(int user, int locale, std::optional<Revision> since) const;
    Result<std::string> categoryItems(int user, int locale, int category,
                                      std::optional<Revision> since) const;
    std::string highlightList(int user, int locale, std::optional<Revision> since) const;
    std::string search(int user, int locale, std::string_view keyword) const;
    std::string dump(int user, int locale) const;
    std::string imprint(int locale) const;

    // The side lists that tie files to places.
    enum class Proximity { Beacon, Customer, CustomerGroup, QRCode };
    // The files linked to one beacon, customer, customer group or QR code that `user` sees in
    // `locale`, as a file list without category; kNotFound when there is no such entry.
    Result<std::string> linkedFiles(int user, int locale, Proximity kind, int id) const;

    // The content behind a served address (file, thumbnail at any width, or asset).
    std::optional<DownloadItem> download(std::string_view address) const;

    // Changes made by the test hooks. Each one advances the revision.
    Status touchFile(int file);
    Status changeFileContent(int file, std::string content);
    Status moveFile(int file);
    // Serves the file under `location` (an address path, e.g. a document-system proxy path);
    // its modification time changes as with moveFile.
    Status setFileLocation(int file, std::string location);
    // The highlight flag with its window, the publication window and the metatags of a file;
    // an empty date text leaves that end of a window empty.
    Status setHighlight(int file, bool highlight, ServerDateText start, ServerDateText end);
    Status setPublication(int file, ServerDateText start, ServerDateText end);
    Status setMetatags(int file, std::vector<std::string> metatags);
    Status addFile(const NewFile& file);
    Status deleteFile(int file);
    Status removeFileForUser(int file, int user);
    Status removeFileFromCategory(int file, int category);
    Status addCategory(const NewCategory& category);
    Status deleteCategory(int category, int locale);  // locale 0: in every locale
    Status removeCategoryForUser(int category, int locale, int user);
    Status unassignAllLocales(int user);
    // Replaces the text of a locale's imprint; none answers the text as JSON null (an imprint
    // the server cannot give).
    Status setImprintText(int locale, std::optional<std::string> text);

  private:
    struct Tombstone {
        enum class Kind { FileDeleted, FileRemoved, CategoryDeleted, CategoryRemoved };
        Revision revision = 0;
        Kind kind = Kind::FileDeleted;
        int id = 0;
        int category = 0;  // FileRemoved: 0 from everywhere, -1 from the highlights
        int locale = 0;    // 0: every locale
        int user = 0;      // 0: every user
    };

    Revision advance();                                                           // requires mutex_
    std::optional<Revision> effectiveSince(std::optional<Revision> since) const;  // requires mutex_
    bool userHasLocale(int user, int locale) const;                               // requires mutex_
    bool categoryVisible(const CatalogueCategory& category, int user) const;      // requires mutex_
    bool fileVisible(const CatalogueFile& file, int user, int locale) const;      // requires mutex_
    bool fileInCategory(const CatalogueFile& file, int category, int user,
                        int locale) const;                  // requires mutex_
    bool fileChangedSince(int file, Revision since) const;  // requires mutex_
    std::vector<int> removedFiles(int category, int user, int locale,
                                  Revision since) const;  // requires mutex_
    std::vector<int> deletedFiles(Revision since) const;  // requires mutex_
    std::string fileListAnswer(const std::vector<const CatalogueFile*>& files, int locale,
                               int category, const char* itemsKey, std::optional<Revision> since,
                               int user) const;                 // requires mutex_
    std::string fileLocation(const CatalogueFile& file) const;  // requires mutex_
    std::string now() const;
    // What a served address leads to: a file's content (`file` its id, for content set by a
    // test hook) or a thumbnail or asset (`file` 0), with its path below the catalogue.
    struct ServedAddress {
        int file = 0;
        std::string path;
        std::string mimeType;
    };
    // Served address (a thumbnail's without its width) -> target, so a download costs the same
    // whatever the size of the catalogue; built on first use after a change.
    const std::unordered_map<std::string, ServedAddress>& servedAddresses()
        const;                                           // requires mutex_
    void touch(CatalogueFile& file, Revision revision);  // requires mutex_

    mutable std::mutex mutex_;
    Catalogue catalogue_;                                      // guarded by mutex_
    Revision loadRevision_ = 0;                                // constant after construction
    Revision revision_ = 0;                                    // guarded by mutex_
    std::map<int, Revision> fileChanged_;                      // guarded by mutex_
    std::map<std::pair<int, int>, Revision> categoryChanged_;  // (id, locale); guarded by mutex_
    std::map<std::pair<int, int>, Revision> categoryAdded_;    // (id, locale); guarded by mutex_
    std::map<int, std::string> contentOverrides_;             // file id -> bytes; guarded by mutex_
    std::map<int, std::optional<std::string>> imprintTexts_;  // locale -> text; guarded by mutex_
    std::vector<Tombstone> tombstones_;                       // guarded by mutex_
    mutable std::optional<std::unordered_map<std::string, ServedAddress>>
        served_;  // guarded by mutex_; reset by advance()
};

}  // namespace pagewell::cms
