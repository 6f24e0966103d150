#pragma once
// The file-list import: the files of one category or of the highlight list (category -1),
// and file lists that belong to no category (search answers, proximity file lists). Each
// answer is applied in one transaction (ImportTransaction), checked before the first write
// and rolled back whole on any error.
//
// Every file object needs "id" (decimal text), "title", "file_location" and "time_modified":
// an answer with an entry that lacks one is malformed and rejected whole.
//
// Per file object: the File is found or created by its "id" and linked to the category, the
// current locale and user (with the user's FileState); its highlight flag, sorting position
// and proximity links always follow the answer; its other properties, thumbnail and
// resources only when "time_modified" differs from the stored date (or the record is new).
//
// Removal, full form ("remove" absent or the list's change timestamp "0"): files of the
// category (highlights) not in the answer leave it; a file then on no list at all (no
// category, no highlight) is deleted when no other user holds it, otherwise it is removed for
// the current user: who leaves its `users`, and whose state is marked removed by the server
// (pretendDeletion and removedByServer), so that no download shows it to that user again.
// Change form: "remove" detaches, "delete" removes the file as the full form does. A file
// listed again for a user the server had removed it for loses removedByServer (it is then
// hidden as a user's own removal, which the next download undoes).
//
// An answer whose removals take more than half of the user's files of the language (and at
// least MassRemovalGuard::kMinimumFiles) is applied only when the guard admits it; otherwise
// it is rolled back whole and fails with MassRemovalGuard::heldBackError().
//
// Threading: a FileImporter is a short-lived value made per answer; imports may run on
// several background threads at once. fileImportLock() is held while a file is found or
// created and linked.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <mutex>
#include <optional>

#include "platform/Error.h"
#include "store/File.h"
#include "store/StoreContext.h"

namespace pagewell {

struct FileCategory;
class MassRemovalGuard;
class TimestampManager;

class FileImporter {
  public:
    // `timestamps` (may be null: every answer counts as a full one) tells the timestamps the
    // requests were sent with; `guard` (may be null: nothing is held back) judges removals.
    explicit FileImporter(const TimestampManager* timestamps, MassRemovalGuard* guard = nullptr)
        : timestamps_(timestamps), guard_(guard) {}

    // The file list of a category, or of the highlight list when `categoryID` is -1,
    // including the removal of files the answer no longer lists.
    Status insertFilesWithJSON(const nlohmann::json& json, std::int64_t categoryID);
    // A file list without category: files, thumbnails and resources; nothing is removed.
    Status importFilesWithJSON(const nlohmann::json& json);

    // Imports one file object in `context` (the import's transaction); `category` none means
    // no category (highlight list or a list without category). Returns the file when it is
    // new or its "time_modified" changed (its properties were applied), none when unchanged.
    static Result<std::optional<File>> importFileWithCategory(StoreContext& context,
                                                              const FileCategory* category,
                                                              const nlohmann::json& properties);
    // `-[File setProperties:]`: a changed date resets `read` and marks a downloaded file
    // `updateAvailable`, its copy kept until the download replaces it; a changed address (or a
    // document-system proxy address) also drops the copy's validators, so the download fetches
    // the new address whole, while the same address keeps them, so the download asks the server
    // whether the copy is still current. Then every attribute from the server keys. Writes the
    // file, does not save.
    static Status setFileProperties(StoreContext& context, File& file,
                                    const nlohmann::json& properties);

    static std::mutex& fileImportLock();

    static constexpr std::int64_t kHighlightsCategoryID = -1;
    static constexpr const char* kNoDictionaryMessage = "import object is no NSDictionary object!";
    static constexpr const char* kNoFilesMessage = "import object does not contain any files!";
    static constexpr const char* kStartingMessage = "starting import of files in category: {}";
    static constexpr const char* kFinishedMessage = "finished import of files in category: {}";
    static constexpr const char* kStartingPlainMessage = "starting import of files";
    static constexpr const char* kFinishedPlainMessage = "finished import of files";
    static constexpr const char* kNoCategoryMessage = "No Category with ID {} found..";
    static constexpr const char* kInvalidPropertiesMessage = "Import needs valid properties";
    static constexpr const char* kMissingKeyMessage = "File entry {} of the answer has no \"{}\"";
    static constexpr const char* kMalformedAssetsMessage =
        "malformed input: assets are not in an array!";
    static constexpr const char* kSharePointProxyPath = "/connectors/sharepoint/proxy/file/";

  private:
    Status importList(StoreContext& context, const nlohmann::json& json, std::int64_t categoryID);
    bool fullAnswer(const nlohmann::json& json, std::int64_t categoryID) const;

    const TimestampManager* timestamps_;
    MassRemovalGuard* guard_;
};

}  // namespace pagewell
