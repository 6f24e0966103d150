#include "net/CatalogueRequests.h"

#include <fmt/format.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "net/AnswerLimits.h"
#include "net/CatalogueImporting.h"
#include "net/KeychainBridge.h"
#include "net/SearchKeyword.h"
#include "platform/Logger.h"
#include "platform/OperationQueue.h"
#include "store/JsonNumber.h"

namespace pagewell {

namespace {

std::mutex factoryMutex;
CatalogueRequests::ImportOperationFactory customFactory;  // guarded by factoryMutex

Error importCategoriesError() {
    return Error::make(InterfaceManager::kAppErrorDomain, -1,
                       InterfaceManager::kImportCategoriesFailed);
}

Error importFilesError() {
    return Error::make(InterfaceManager::kAppErrorDomain, -1, InterfaceManager::kImportFilesFailed);
}

// Identifiers of a change list: decimal texts or numbers; other entries are skipped.
std::vector<std::string> idList(const nlohmann::json& answer, const char* key) {
    std::vector<std::string> ids;
    auto list = answer.find(key);
    if (list == answer.end() || !list->is_array()) {
        return ids;
    }
    for (const auto& entry : *list) {
        if (entry.is_string() || entry.is_number()) {
            if (auto id = JsonNumber::integer(entry)) {
                ids.push_back(std::to_string(*id));
            }
        }
    }
    return ids;
}

std::vector<std::int64_t> numbers(const std::vector<std::string>& ids) {
    std::vector<std::int64_t> result;
    for (const auto& id : ids) {
        result.push_back(std::stoll(id));
    }
    return result;
}

// The default per-category operation: the request runs on the main queue, the operation holds
// its queue slot until the request has reported.
std::shared_ptr<AsyncOperation> defaultImportOperation(InterfaceManager& manager,
                                                       EndpointDelegates& delegates,
                                                       std::int64_t categoryID,
                                                       CatalogueRequests::Done completion,
                                                       CatalogueRequests::ErrorCallback error) {
    InterfaceManager* m = &manager;
    EndpointDelegates* d = &delegates;
    return std::make_shared<AsyncOperation>(
        [m, d, categoryID, completion, error](AsyncOperation& operation) {
            auto self = operation.shared_from_this();
            if (operation.isCancelled()) {
                operation.finish();
                return;
            }
            RequestRunner::onMain([m, d, self, categoryID, completion, error] {
                CatalogueRequests(*m, *d).getFilesForCategoryFromAPI(
                    categoryID,
                    [self, completion] {
                        self->finish();
                        completion();
                    },
                    [self, error](const Error& e) {
                        self->finish();
                        error(e);
                    });
            });
        });
}

// The shared state of one batch of category imports; lives until the last one reported.
struct ImportBatch {
    std::shared_ptr<OperationQueue> queue;
    std::size_t total = 0;
    std::size_t reported = 0;
    std::size_t succeeded = 0;
    std::optional<Error> firstError;
};

InterfaceManager::RequestOptions categoryListOptions() {
    InterfaceManager::RequestOptions options;
    options.maxAnswerBytes = AnswerLimits::kCategoryList;
    return options;
}

// File lists run to tens of thousands of entries: their files and thumbnails stay packed until
// the importer reads them one at a time.
InterfaceManager::RequestOptions fileListOptions() {
    InterfaceManager::RequestOptions options;
    options.maxAnswerBytes = AnswerLimits::kFileList;
    options.packedLists = {"items", "highlights", "thumbnails"};
    return options;
}

}  // namespace

CatalogueRequests::CatalogueRequests(InterfaceManager& manager, EndpointDelegates& delegates)
    : runner_(manager, delegates) {}

void CatalogueRequests::setImportOperationFactory(ImportOperationFactory factory) {
    std::lock_guard lock(factoryMutex);
    customFactory = std::move(factory);
}

void CatalogueRequests::importAnswer(std::function<Status(CatalogueImporting&)> import, Done stored,
                                     Done completion, ErrorCallback error,
                                     std::optional<Error> failure) {
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    RequestRunner::inBackground(
        [importer, import = std::move(import)] { return import(*importer); },
        [stored = std::move(stored), completion = std::move(completion), error = std::move(error),
         failure = std::move(failure)](const Status& status) {
            if (!status.ok()) {
                const bool heldBack = status.error().domain == kAppErrorDomain &&
                                      status.error().code == CatalogueImporting::kHeldBackCode;
                const Error reported = heldBack ? status.error() : failure.value_or(status.error());
                PW_LOG_ERROR_VALUE(reported);
                error(reported);
                return;
            }
            if (stored) {
                stored();
            }
            completion();
        });
}

void CatalogueRequests::importListWithTimestamp(
    std::function<std::string(const std::string&, ChangeTimestamps&)> pathFor,
    std::function<Status(CatalogueImporting&, const Json&, const std::string&)> import,
    std::function<void(ChangeTimestamps&, const std::string&)> save,
    InterfaceManager::RequestOptions options, Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto timestamps = runner_.timestampsOrFail(error);
    if (!timestamps) {
        return;
    }
    CatalogueRequests self = *this;
    runner_.withLocale(
        [self, timestamps, pathFor, import, save, options, completion,
         error](const std::string& localeID) mutable {
            // The answer is shared with its import, not copied: a file list can hold hundreds
            // of megabytes once decoded.
            self.runner_.manager().sendRequestSharingAnswer(
                pathFor(localeID, *timestamps),
                [self, timestamps, import, save, localeID, completion,
                 error](const std::shared_ptr<const Json>& answer) mutable {
                    auto timestamp = RequestRunner::timestampOf(*answer);
                    self.importAnswer(
                        [import, answer, localeID](CatalogueImporting& importer) {
                            return import(importer, *answer, localeID);
                        },
                        [timestamps, save, timestamp] {
                            if (timestamp) {
                                save(*timestamps, *timestamp);
                            }
                        },
                        completion, error, importCategoriesError());
                },
                error, options);
        },
        completion, error);
}

void CatalogueRequests::getAllLocales(Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    InterfaceManager& manager = runner_.manager();
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    InterfaceManager::RequestOptions options;
    options.maxAnswerBytes = AnswerLimits::kLocaleList;
    manager.sendRequest(
        manager.pathForRestMethod("list", "locale"),
        [importer, completion, error](const Json& answer) {
            RequestRunner::inBackground(
                [importer, answer] { return importer->importLocalesWithJSON(answer); },
                [completion, error](const Status& status) {
                    RequestRunner::report(status, completion, error);
                });
        },
        error, options);
}

void CatalogueRequests::getCategoriesFromAPI(Done completion, ErrorCallback error) {
    importListWithTimestamp(
        [manager = &runner_.manager()](const std::string& localeID, ChangeTimestamps& timestamps) {
            return RequestRunner::withTimestamp(
                manager->pathForRestMethod("list", "category", {localeID}),
                timestamps.timestampForCategoryList());
        },
        [](CatalogueImporting& importer, const Json& answer, const std::string& localeID) {
            return importer.importCategoriesWithJSON(answer, localeID);
        },
        [](ChangeTimestamps& timestamps, const std::string& timestamp) {
            timestamps.saveTimestampForCategoryList(timestamp);
        },
        categoryListOptions(), std::move(completion), std::move(error));
}

void CatalogueRequests::getCategoryModifiedFromAPI(CategoryIDsCompletion completion,
                                                   ErrorCallback error) {
    fetchCategoryChanges(
        true, [completion](const ChangeList& changes) { completion(changes.ids); }, error);
}

void CatalogueRequests::fetchCategoryChanges(bool storeTimestamp, ChangeListCompletion completion,
                                             ErrorCallback error) {
    if (runner_.finishedOffline([completion] { completion({}); })) {
        return;
    }
    auto timestamps = runner_.timestampsOrFail(error);
    if (!timestamps) {
        return;
    }
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    CatalogueRequests self = *this;
    runner_.withLocale(
        [self, timestamps, importer, storeTimestamp, completion,
         error](const std::string& localeID) mutable {
            InterfaceManager& manager = self.runner_.manager();
            std::string path = RequestRunner::withTimestamp(
                manager.pathForRestMethod("modified", "category", {localeID}),
                timestamps->timestampForAllFilesForSync());
            manager.sendRequest(
                path,
                [self, timestamps, importer, storeTimestamp, localeID, completion,
                 error](const Json& answer) mutable {
                    if (!answer.is_object()) {
                        RequestRunner::fail(
                            error, RequestRunner::badAnswer(
                                       "The category change answer is not a JSON object."));
                        return;
                    }
                    ChangeList changes;
                    changes.timestamp = RequestRunner::timestampOf(answer);
                    // Both lists go on to re-import: a category changed on the server needs its
                    // files fetched whether or not others were added in the same period.
                    changes.ids = idList(answer, "modified");
                    std::vector<std::string> added = idList(answer, "added");
                    changes.ids.insert(changes.ids.end(), added.begin(), added.end());
                    const auto deleted = numbers(idList(answer, "deleted"));
                    const auto removed = numbers(idList(answer, "removed"));

                    auto applyDeletions = [timestamps, importer, storeTimestamp, localeID, changes,
                                           deleted, removed, completion, error] {
                        RequestRunner::inBackground(
                            [importer, deleted, removed, localeID]() -> Status {
                                if (!deleted.empty()) {
                                    if (auto s = importer->deleteCategoriesWithIDs(deleted); !s) {
                                        return s;
                                    }
                                }
                                if (!removed.empty()) {
                                    return importer->deleteCategoriesWithIDs(removed, localeID);
                                }
                                return {};
                            },
                            [timestamps, storeTimestamp, changes, completion,
                             error](const Status& status) {
                                RequestRunner::report(
                                    status,
                                    [&] {
                                        if (storeTimestamp && changes.timestamp) {
                                            timestamps->saveTimestampForAllFilesForSync(
                                                *changes.timestamp);
                                        }
                                        completion(changes);
                                    },
                                    error);
                            });
                    };
                    if (added.empty()) {
                        applyDeletions();
                    } else {
                        self.getCategoriesFromAPI(applyDeletions, error);
                    }
                },
                error, categoryListOptions());
        },
        [completion] { completion({}); }, error);
}

void CatalogueRequests::getFilesForCategoryFromAPI(std::int64_t categoryID, Done completion,
                                                   ErrorCallback error) {
    const std::string id = std::to_string(categoryID);
    importListWithTimestamp(
        [manager = &runner_.manager(), id](const std::string& localeID,
                                           ChangeTimestamps& timestamps) {
            return RequestRunner::withTimestamp(
                RequestRunner::withQuery(manager->pathForRestMethod("items", "category", {id}),
                                         "locale", localeID),
                timestamps.timestampForCategoryID(id));
        },
        [categoryID](CatalogueImporting& importer, const Json& answer, const std::string&) {
            return importer.insertFilesWithJSON(answer, categoryID);
        },
        [id](ChangeTimestamps& timestamps, const std::string& timestamp) {
            timestamps.saveTimestamp(timestamp, id);
        },
        fileListOptions(), std::move(completion), std::move(error));
}

void CatalogueRequests::getHighlightsFromAPI(Done completion, ErrorCallback error) {
    importListWithTimestamp(
        [manager = &runner_.manager()](const std::string& localeID, ChangeTimestamps& timestamps) {
            return RequestRunner::withTimestamp(
                manager->pathForRestMethod("list", "highlight", {localeID}),
                timestamps.timestampForHighlights());
        },
        [](CatalogueImporting& importer, const Json& answer, const std::string&) {
            return importer.insertFilesWithJSON(answer, kHighlightsCategoryID);
        },
        [](ChangeTimestamps& timestamps, const std::string& timestamp) {
            timestamps.saveTimeStampForHighlights(timestamp);
        },
        fileListOptions(), std::move(completion), std::move(error));
}

void CatalogueRequests::searchFilesWithKeyword(const std::string& keyword, Done completion,
                                               ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    CatalogueRequests self = *this;
    runner_.withLocale(
        [self, keyword, completion, error](const std::string& localeID) mutable {
            InterfaceManager& manager = self.runner_.manager();
            std::string path = fmt::format(
                "search/{}?keyword={}&token={}", InterfaceManager::percentEscape(localeID),
                SearchKeyword::escape(keyword),
                InterfaceManager::percentEscape(KeychainBridge::shared().token()));
            manager.sendRequestSharingAnswer(
                path,
                [self, completion, error](const std::shared_ptr<const Json>& answer) mutable {
                    self.importAnswer(
                        [answer](CatalogueImporting& importer) {
                            return importer.importFilesWithJSON(*answer);
                        },
                        nullptr, completion, error, importFilesError());
                },
                error, fileListOptions());
        },
        completion, error);
}

void CatalogueRequests::getAllIDs(JsonCompletion completion, ErrorCallback error) {
    runner_.fetchWithLocale(
        [manager = &runner_.manager()](const std::string& localeID) {
            return RequestRunner::withQuery(manager->pathForRestMethod("dump", "category"),
                                            "locale", localeID);
        },
        std::move(completion), std::move(error));
}

void CatalogueRequests::getImprint(Done completion, ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    CatalogueRequests self = *this;
    runner_.withLocale(
        [self, completion, error](const std::string& localeID) mutable {
            InterfaceManager& manager = self.runner_.manager();
            manager.sendRequest(
                manager.pathForRestMethod("get", "imprint", {localeID}),
                [self, completion, error](const Json& answer) mutable {
                    self.importAnswer(
                        [answer](CatalogueImporting& importer) {
                            return importer.importImprintWithJSON(answer);
                        },
                        nullptr, completion, error, std::nullopt);
                },
                error);
        },
        completion, error);
}

void CatalogueRequests::getAllFilesForSync(Done completion, Progress progress,
                                           ErrorCallback error) {
    if (runner_.finishedOffline(completion)) {
        return;
    }
    auto timestamps = runner_.timestampsOrFail(error);
    if (!timestamps) {
        return;
    }
    const std::string allFiles = timestamps->timestampForAllFilesForSync();
    if (allFiles.empty() || allFiles == ChangeTimestamps::kNoTimestamp) {
        syncAllCategories(std::move(completion), std::move(progress), std::move(error));
        return;
    }
    CatalogueRequests self = *this;
    fetchCategoryChanges(
        false,
        [self, timestamps, completion, progress, error](const ChangeList& changes) mutable {
            auto source = self.runner_.delegates().localeSource();
            auto localeID = source ? source->getCurrentLocaleID() : std::nullopt;
            if (!localeID) {
                // The language selection ran instead of the request: nothing to import.
                completion();
                return;
            }
            self.importCategoryFiles(
                *localeID, changes.ids,
                [timestamps, changes, completion] {
                    if (changes.timestamp) {
                        timestamps->saveTimestampForAllFilesForSync(*changes.timestamp);
                    }
                    completion();
                },
                progress, error);
        },
        [self, completion, progress, error](const Error& failure) mutable {
            PW_LOG_WARNING("Category changes failed ({}); synchronising every category.",
                           failure.toString());
            self.syncAllCategories(completion, progress, error);
        });
}

void CatalogueRequests::syncAllCategories(Done completion, Progress progress, ErrorCallback error) {
    auto timestamps = runner_.delegates().timestamps();
    CatalogueRequests self = *this;
    getCategoriesFromAPI(
        [self, timestamps, completion, progress, error]() mutable {
            auto source = self.runner_.delegates().localeSource();
            auto localeID = source ? source->getCurrentLocaleID() : std::nullopt;
            if (!localeID) {
                completion();
                return;
            }
            self.importCategoryFiles(
                *localeID, std::nullopt,
                [timestamps, completion] {
                    timestamps->saveTimestampForAllFilesForSync(
                        timestamps->timestampForCategoryList());
                    completion();
                },
                progress, error);
        },
        error);
}

void CatalogueRequests::importCategoryFiles(const std::string& localeID,
                                            std::optional<std::vector<std::string>> onlyIDs,
                                            std::function<void()> succeeded, Progress progress,
                                            ErrorCallback error) {
    auto importer = runner_.importerOrFail(error);
    if (!importer) {
        return;
    }
    InterfaceManager* manager = &runner_.manager();
    EndpointDelegates* delegates = &runner_.delegates();
    RequestRunner::inBackground(
        [importer, localeID, onlyIDs, manager, delegates, succeeded, progress, error]() -> Status {
            auto all = importer->categoryIDsOfLocale(localeID);
            if (!all.ok()) {
                return all.error();
            }
            std::vector<std::int64_t> ids = all.value();
            if (onlyIDs) {
                auto wanted = numbers(*onlyIDs);
                std::erase_if(ids, [&](std::int64_t id) {
                    return std::find(wanted.begin(), wanted.end(), id) == wanted.end();
                });
            }
            RequestRunner::onMain([importer, ids, manager, delegates, succeeded, progress, error] {
                if (ids.empty()) {
                    succeeded();
                    return;
                }
                ImportOperationFactory factory;
                {
                    std::lock_guard lock(factoryMutex);
                    factory = customFactory;
                }
                auto batch = std::make_shared<ImportBatch>();
                batch->queue =
                    std::make_shared<OperationQueue>(kMaxConcurrentImports, "CategoryImports");
                batch->total = ids.size();
                auto finished = [batch, importer, succeeded, progress, error] {
                    if (++batch->reported < batch->total) {
                        return;
                    }
                    // Every operation has reported: the queue holds nothing that still runs.
                    batch->queue.reset();
                    if (auto saved = importer->saveStore(); !saved.ok()) {
                        PW_LOG_ERROR_VALUE(saved.error());
                        batch->firstError = batch->firstError.value_or(saved.error());
                    }
                    if (progress) {
                        progress(1.0);
                    }
                    if (batch->firstError) {
                        error(*batch->firstError);
                    } else {
                        succeeded();
                    }
                };
                for (std::int64_t id : ids) {
                    // Each category reports exactly once, also when its operation is cancelled
                    // before it ran (its work then never starts) or ends without a callback.
                    auto reported = std::make_shared<bool>(false);
                    Done done = [batch, progress, finished, reported] {
                        if (std::exchange(*reported, true)) {
                            return;
                        }
                        ++batch->succeeded;
                        if (progress) {
                            progress(static_cast<double>(batch->succeeded) /
                                     static_cast<double>(batch->total));
                        }
                        finished();
                    };
                    ErrorCallback failed = [batch, finished, reported](const Error& e) {
                        if (std::exchange(*reported, true)) {
                            return;
                        }
                        if (!batch->firstError) {
                            batch->firstError = e;
                        }
                        finished();
                    };
                    auto operation =
                        factory ? factory(id, done, failed)
                                : defaultImportOperation(*manager, *delegates, id, done, failed);
                    // A cancelled operation may end without running its work; it then
                    // counts as failed. Any other operation reports through its callbacks.
                    std::weak_ptr<AsyncOperation> weakOperation = operation;
                    auto reportIfSilent = [failed, reported, weakOperation] {
                        auto ended = weakOperation.lock();
                        if (!ended || !ended->isCancelled()) {
                            return;
                        }
                        RequestRunner::onMain([failed, reported] {
                            if (!*reported) {
                                failed(Error::make(kAppErrorDomain, -999,
                                                   "The category import was cancelled."));
                            }
                        });
                    };
                    operation->setCompletionCallback(reportIfSilent);
                    if (operation->isFinished()) {
                        // Finished (cancelled) before the callback was set: it will not run.
                        reportIfSilent();
                    }
                    batch->queue->addOperation(operation);
                }
            });
            return {};
        },
        [error](const Status& status) {
            if (!status.ok()) {
                PW_LOG_ERROR_VALUE(status.error());
                error(status.error());
            }
        });
}

}  // namespace pagewell
