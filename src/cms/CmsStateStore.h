#pragma once
// What clients changed on the server, kept apart from the catalogue: favourite folders and their
// files, read confirmations, share links and their read state, lead contacts with their uploaded
// images, and push registrations. It is one JSON document written to the --state file by
// temporary file and rename after every change, so a restarted server finds it as it was;
// without a file it lives in memory only. Uploaded images are kept beside it, in the directory
// "FILE.uploads".
//
// Sections of the document, each an array of objects (ids are numbers here, texts on the wire):
//   "favorite_folders"    {"id", "user", "locale", "name"}
//   "favorite_relations"  {"id", "user", "folder_id" (0: no folder), "file_id"}
//   "read_confirmations"  {"user", "file_id", "confirm_date", "received"}
//   "share_links"         {"id" (0 until registered), "user", "file_id", "share_uuid", "read",
//                          "opened" (texts of the times the link was followed)}
//   "contacts"            {"id", "user", "devicename", "local_id", "received", "contact",
//                          "uploads": [{"kind", "name", "size"}]}
//   "devices"             {"user", "uid", "push_token", "received"}
// and "next_id", the last identifier handed out (one counter for every section).
//
// Thread-safe: every public member takes mutex_; a change and its write happen under it.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cms/Catalogue.h"
#include "platform/Error.h"

namespace pagewell::cms {

class CmsStateStore {
  public:
    using Document = nlohmann::json;
    static constexpr const char* kErrorDomain = "CmsStateStore";
    static constexpr int kFormatVersion = 1;

    // Reads `file` when it exists (a damaged file is an error: the server must not start and
    // overwrite it); otherwise starts from the catalogue's favourite folders. An empty path
    // keeps everything in memory.
    static Result<std::unique_ptr<CmsStateStore>> open(std::filesystem::path file,
                                                       const Catalogue& seed);

    // Runs `change` on the document. When it succeeds the document is written out; when it
    // fails, or the write fails, the document stays as it was and the error is returned.
    Status update(const std::function<Status(Document&)>& change);
    void read(const std::function<void(const Document&)>& reader) const;

    // A new identifier, unique over every section; for use inside update().
    static int takeId(Document& document);

    // Keeps an uploaded image under `name` (a plain file name); read back with upload().
    // May be called from inside update().
    Status storeUpload(const std::string& name, const std::string& bytes);
    std::optional<std::string> upload(const std::string& name) const;

    const std::filesystem::path& file() const { return file_; }

  private:
    CmsStateStore(std::filesystem::path file, Document document);
    std::filesystem::path uploadDirectory() const;

    const std::filesystem::path file_;
    mutable std::mutex mutex_;
    Document document_;  // guarded by mutex_
    // Uploads have their own lock so a change running under mutex_ can keep one.
    mutable std::mutex uploadsMutex_;
    std::map<std::string, std::string> uploads_;  // memory-only uploads; guarded by uploadsMutex_
};

}  // namespace pagewell::cms
