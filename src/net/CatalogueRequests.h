#pragma once
// The catalogue operations: languages, categories, category changes, the files of a category,
// highlights, keyword search, the identifier dump, the imprint, and the catalogue sync that
// strings them together. Answers are imported on a background queue (CatalogueImporting) and the
// outcome is reported on the main queue. Offline, every operation calls its completion at once
// with no data; those that need the current content language run the language selection
// instead when none is chosen.
//
// A change timestamp (ChangeTimestamps) is advanced only after the import of the answer that
// carried it has succeeded; a failed import leaves it where it was, so the next sync asks for
// the same changes again.
//
// Catalogue sync (getAllFilesForSync):
//
//   all-files timestamp "0"? ──yes──► category list ──► every category of the language
//        │ no                                               │
//        ▼                                                  ▼
//   category changes ──error──► (full path)   import queue, at most 4 at a time, one
//        │ ids ("modified" then "added")      operation per category; progress after each
//        ▼                                                  │
//   the listed categories of the language ─────────────────►▼
//                                             all finished: save the store, progress 1.0;
//                                             every import succeeded ─► advance the all-files
//                                             timestamp, completion; else ─► first error
//
// Threading: a CatalogueRequests is a thin handle on the main thread; callbacks run on the main
// queue. Copies are cheap and the handle may go away while requests run.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/EndpointDelegates.h"
#include "net/InterfaceManager.h"
#include "net/RequestRunner.h"
#include "platform/AsyncOperation.h"

namespace pagewell {

class CatalogueRequests {
  public:
    using Json = nlohmann::json;
    using Done = std::function<void()>;
    using ErrorCallback = InterfaceManager::ErrorCallback;
    using JsonCompletion = std::function<void(const Json& answer)>;
    // Server identifiers of categories as decimal text.
    using CategoryIDsCompletion = std::function<void(const std::vector<std::string>& ids)>;
    using Progress = std::function<void(double fraction)>;
    // Makes the queue operation that imports the files of one category: it calls
    // getFilesForCategoryFromAPI and finishes when that reports, then calls exactly one of
    // the two callbacks on the main queue. The default does exactly that; the importer may
    // install its own ImportOperation.
    using ImportOperationFactory = std::function<std::shared_ptr<AsyncOperation>(
        std::int64_t categoryID, Done completion, ErrorCallback error)>;

    explicit CatalogueRequests(InterfaceManager& manager = InterfaceManager::sharedInstance(),
                               EndpointDelegates& delegates = EndpointDelegates::shared());

    // GET locale/list → importLocalesWithJSON. An importer refusal reaches `error` as it is.
    void getAllLocales(Done completion, ErrorCallback error);
    // GET category/list/LOCALE[&timestamp=category-list timestamp] → importCategoriesWithJSON,
    // then the answer's "timestamp" becomes the category-list timestamp.
    void getCategoriesFromAPI(Done completion, ErrorCallback error);
    // GET category/modified/LOCALE[&timestamp=all-files timestamp]. Fetches the category list
    // again when "added" is not empty, deletes the categories of "deleted" (any language) and
    // "removed" (current language), then stores "timestamp" as the all-files timestamp and
    // hands on "modified" followed by "added".
    void getCategoryModifiedFromAPI(CategoryIDsCompletion completion, ErrorCallback error);
    // GET category/items/ID&locale=LOCALE[&timestamp=that category's timestamp] →
    // insertFilesWithJSON(answer, ID), then "timestamp" is stored for the category.
    void getFilesForCategoryFromAPI(std::int64_t categoryID, Done completion, ErrorCallback error);
    // GET highlight/list/LOCALE[&timestamp=highlights timestamp] → insertFilesWithJSON(answer,
    // -1), then "timestamp" becomes the highlights timestamp.
    void getHighlightsFromAPI(Done completion, ErrorCallback error);
    // GET search/LOCALE?keyword=K&token=T with K escaped by SearchKeyword → importFilesWithJSON.
    void searchFilesWithKeyword(const std::string& keyword, Done completion, ErrorCallback error);
    // GET category/dump&locale=LOCALE → the decoded answer (null offline or without language).
    void getAllIDs(JsonCompletion completion, ErrorCallback error);
    // GET imprint/get/LOCALE → importImprintWithJSON.
    void getImprint(Done completion, ErrorCallback error);
    // The catalogue sync drawn above.
    void getAllFilesForSync(Done completion, Progress progress, ErrorCallback error);

    // Replaces the per-category operation of getAllFilesForSync (process-wide; none restores
    // the default).
    static void setImportOperationFactory(ImportOperationFactory factory);

    static constexpr int kHighlightsCategoryID = -1;
    static constexpr int kMaxConcurrentImports = 4;

  private:
    struct ChangeList {
        std::vector<std::string> ids;
        std::optional<std::string> timestamp;
    };
    using ChangeListCompletion = std::function<void(const ChangeList& changes)>;

    // The change request; `storeTimestamp` false leaves advancing the all-files timestamp to
    // the caller (the sync advances it only after the file imports succeeded).
    void fetchCategoryChanges(bool storeTimestamp, ChangeListCompletion completion,
                              ErrorCallback error);
    void syncAllCategories(Done completion, Progress progress, ErrorCallback error);
    // Imports the files of the language's categories (only `onlyIDs` when given).
    void importCategoryFiles(const std::string& localeID,
                             std::optional<std::vector<std::string>> onlyIDs,
                             std::function<void()> succeeded, Progress progress,
                             ErrorCallback error);
    // Hands `answer` to the importer in the background; on success `stored` runs on the main
    // queue before `completion`; on failure `error` receives `failure`, or without one the
    // importer's own error.
    void importAnswer(std::function<Status(CatalogueImporting&)> import, Done stored,
                      Done completion, ErrorCallback error, std::optional<Error> failure);
    // The list request under the current language whose answer is imported and whose
    // "timestamp" is stored afterwards: `pathFor` builds the path from the language and the
    // timestamps, `save` stores the answer's timestamp. A failed import is `failure`.
    void importListWithTimestamp(
        std::function<std::string(const std::string& localeID, ChangeTimestamps& timestamps)>
            pathFor,
        std::function<Status(CatalogueImporting& importer, const Json& answer,
                             const std::string& localeID)>
            import,
        std::function<void(ChangeTimestamps& timestamps, const std::string& timestamp)> save,
        InterfaceManager::RequestOptions options, Done completion, ErrorCallback error);

    RequestRunner runner_;
};

}  // namespace pagewell
