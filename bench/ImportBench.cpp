// The first catalogue import and the syncs after it, against pagewell-cms serving a synthetic
// catalogue of 20,000 files in 400 categories on a loopback port (the server runs as a child
// process, so its work and memory stay out of the client's figures but its time is in both
// the import's and the floor's wall clock).
//
//   BM_FirstImportOfSyntheticCatalogue   a new user's first getAllFilesForSync through the app's
//                                        request layer and DataImporter into a new store
//   BM_FloorFetchParseInsertSameRows     the same answers fetched with plain libcurl (4 at a
//                                        time, as the import does), parsed with nlohmann and
//                                        the same rows written with prepared INSERTs in one
//                                        transaction into a store of the same schema
//   BM_FloorFetchParseInsertSameRows-    the same floor offering every content encoding, as the
//     AcceptingEncodings                 app's session does: the server then compresses each
//                                        answer, and the difference to the plain floor is that
//                                        compression's cost
//   BM_FirstImportOfOneAnswerWith-       a first sync against a second synthetic catalogue
//     100000Files                        whose one category holds 100,000 files: one answer of
//                                        about 75 MB, its time and the client's peak memory
//   BM_SecondSyncWithNoChange            a sync right after the first one, nothing changed on
//                                        the server; its ratio to the first import is printed
//   BM_SyncAfterChangesInFiveCategories  a sync after one file in each of five categories was
//                                        touched on the server
//
// Every benchmark times wall-clock (real) time: much of the work is the server's. The
// counters: `requests` the server logged during the timed part (read through its request-log
// hook), `category_requests` the per-category file lists among them, `client_cpu_ms` the CPU
// time of this process (every thread; the server's is not in it) per run, `peak_MiB` the
// process's resident high-water mark during the timed part and `growth_MiB` how far above the
// resident size at its start that mark went (PeakMemory).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchClient.h"
#include "BenchHttp.h"
#include "CmsProcess.h"
#include "PeakMemory.h"
#include "ProcessCpu.h"
#include "net/InterfaceManager.h"
#include "net/KeychainBridge.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/PersistentStore.h"
#include "store/ServerDate.h"
#include "store/StoreContext.h"

namespace {

using pagewell::Status;
using pagewell::bench::BenchClient;
using pagewell::bench::BenchHttp;
using pagewell::bench::CmsProcess;
using pagewell::bench::PeakMemory;
using pagewell::bench::ProcessCpu;

constexpr int kFiles = 20'000;
constexpr const char* kUser = "demo";
constexpr const char* kPassword = "demo";
constexpr std::int64_t kEnglish = 1;
constexpr int kParallelFetches = 4;

// The server, started once for every benchmark of this file and stopped at exit.
CmsProcess* server(benchmark::State& state) {
    return CmsProcess::sharedServer(state, "synthetic-" + std::to_string(kFiles),
                                    {"--synthetic", std::to_string(kFiles)});
}

std::unique_ptr<BenchClient> signIn(benchmark::State& state, const CmsProcess& cms) {
    auto client = BenchClient::signIn(cms.baseUrl(), kUser, kPassword);
    if (!client.ok()) {
        state.SkipWithError(client.error().description.c_str());
        return nullptr;
    }
    return std::move(client).value();
}

bool succeeded(benchmark::State& state, const Status& status) {
    if (!status.ok()) {
        state.SkipWithError(status.error().description.c_str());
    }
    return status.ok();
}

std::int64_t count(pagewell::Database& db, const std::string& sql) {
    auto statement = db.prepare(sql);
    if (!statement.ok()) {
        return -1;
    }
    auto row = statement.value()->step();
    const std::int64_t value = row.ok() && row.value() ? statement.value()->integer(0) : -1;
    statement.value()->reset();
    return value;
}

// What the server was asked since the last clear: all requests, and the per-category lists.
struct RequestCounts {
    std::size_t all = 0;
    std::size_t categories = 0;
};

RequestCounts requestsSinceClear(benchmark::State& state, const CmsProcess& cms) {
    auto targets = cms.requestTargets();
    if (!targets.ok()) {
        state.SkipWithError(targets.error().description.c_str());
        return {};
    }
    RequestCounts counts;
    counts.all = targets.value().size();
    counts.categories = std::count_if(
        targets.value().begin(), targets.value().end(), [](const std::string& target) {
            return target.find("/category/items/") != std::string::npos;
        });
    return counts;
}

void reportMemoryAndRequests(benchmark::State& state, double peak, double growth,
                             const RequestCounts& requests) {
    state.counters["peak_MiB"] = peak;
    state.counters["growth_MiB"] = growth;
    state.counters["requests"] = static_cast<double>(requests.all);
    state.counters["category_requests"] = static_cast<double>(requests.categories);
}

// The rows of every table of the store, summed: the import and the floor must write as many.
std::int64_t storeRows(pagewell::Database& db) {
    std::vector<std::string> tables;
    auto statement = db.prepare("SELECT name FROM sqlite_master WHERE type = 'table'");
    if (!statement.ok()) {
        return -1;
    }
    while (true) {
        auto row = statement.value()->step();
        if (!row.ok() || !row.value()) {
            break;
        }
        tables.push_back(statement.value()->text(0));
    }
    statement.value()->reset();
    std::int64_t rows = 0;
    for (const auto& table : tables) {
        rows += count(db, "SELECT COUNT(*) FROM \"" + table + "\"");
    }
    return rows;
}

// The file lists the floor's fetchers have parsed, waiting for its one writer.
class ParsedAnswers {
  public:
    explicit ParsedAnswers(std::size_t expected) : expected_(expected) {}

    void add(nlohmann::json answer) {
        std::lock_guard lock(mutex_);
        ready_.push_back(std::move(answer));
        changed_.notify_one();
    }
    void fail(std::string reason) {
        std::lock_guard lock(mutex_);
        failure_ = std::move(reason);
        changed_.notify_one();
    }
    // The next answer; none when all have been taken or a fetch failed.
    std::optional<nlohmann::json> next() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !ready_.empty() || failure_ || taken_ == expected_; });
        if (failure_ || ready_.empty()) {
            return std::nullopt;
        }
        ++taken_;
        nlohmann::json answer = std::move(ready_.front());
        ready_.pop_front();
        return answer;
    }
    std::optional<std::string> failure() const {
        std::lock_guard lock(mutex_);
        return failure_;
    }

  private:
    const std::size_t expected_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<nlohmann::json> ready_;    // guarded by mutex_
    std::size_t taken_ = 0;               // guarded by mutex_
    std::optional<std::string> failure_;  // guarded by mutex_
};

std::optional<std::int64_t> idOf(const nlohmann::json& value) {
    if (value.is_string()) {
        return std::stoll(value.get<std::string>());
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    return std::nullopt;
}

std::optional<std::string> textOf(const nlohmann::json& object, const char* key) {
    auto value = object.find(key);
    if (value == object.end() || !value->is_string()) {
        return std::nullopt;
    }
    return value->get<std::string>();
}

std::optional<pagewell::SystemTime> dateOf(const nlohmann::json& object, const char* key) {
    return pagewell::ServerDate::parse(object, key);
}

// The floor's writes, all through prepared statements on one connection in one transaction.
class FloorWriter {
  public:
    FloorWriter(pagewell::Database& db, std::int64_t user, std::int64_t locale,
                std::int64_t localeID)
        : db_(db), user_(user), locale_(locale), localeID_(localeID) {}

    Status categories(const nlohmann::json& answer) {
        for (const auto& item : answer.at("items")) {
            const std::int64_t id = idOf(item.at("id")).value_or(0);
            if (Status s = db_.run("INSERT INTO FileCategory (cmsID, localeID, name, modified, "
                                   "locale) VALUES (?, ?, ?, ?, ?)",
                                   id, localeID_, textOf(item, "title"),
                                   dateOf(item, "time_modified"), locale_);
                !s.ok()) {
                return s;
            }
            categoryKeys_[id] = db_.lastInsertRowId();
            if (Status s = db_.run("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)",
                                   categoryKeys_[id], user_);
                !s.ok()) {
                return s;
            }
        }
        for (const auto& sorting : answer.at("sortings")) {
            const std::int64_t category = idOf(sorting.at("category_id")).value_or(0);
            if (Status s =
                    db_.run("INSERT INTO CategorySorting (cmsID, parentCategoryID, "
                            "localeID, position, category) VALUES (?, ?, ?, ?, ?)",
                            idOf(sorting.at("id")), idOf(sorting.at("parent_category_id")),
                            localeID_, sorting.value("position", 0), categoryKeys_[category]);
                !s.ok()) {
                return s;
            }
        }
        return {};
    }

    Status files(const nlohmann::json& answer, std::int64_t categoryID) {
        std::map<std::string, const nlohmann::json*> thumbnails;
        for (const auto& thumbnail : answer.at("thumbnails")) {
            thumbnails[thumbnail.at("id").get<std::string>()] = &thumbnail;
        }
        const std::int64_t category = categoryKeys_[categoryID];
        for (const auto& item : answer.at("items")) {
            if (Status s = file(item, thumbnails, categoryID, category); !s.ok()) {
                return s;
            }
        }
        return {};
    }

  private:
    Status file(const nlohmann::json& item,
                const std::map<std::string, const nlohmann::json*>& thumbnails,
                std::int64_t categoryID, std::int64_t category) {
        std::optional<std::int64_t> thumbnailKey;
        if (auto id = textOf(item, "thumbnail_id"); id && thumbnails.count(*id) > 0) {
            const nlohmann::json& thumbnail = *thumbnails.at(*id);
            if (Status s = db_.run("INSERT INTO Thumbnail (cmsID, fileURL, modified, size, "
                                   "downloaded) VALUES (?, ?, ?, ?, 0)",
                                   idOf(thumbnail.at("id")), textOf(thumbnail, "file_location"),
                                   dateOf(thumbnail, "file_modified"),
                                   thumbnail.value("file_size", std::int64_t{0}));
                !s.ok()) {
                return s;
            }
            thumbnailKey = db_.lastInsertRowId();
        }
        std::string metatags;
        for (const auto& tag : item.at("metatags")) {
            metatags += (metatags.empty() ? "" : ",") + tag.get<std::string>();
        }
        const std::int64_t id = idOf(item.at("id")).value_or(0);
        if (Status s = db_.run(
                "INSERT INTO File (cmsID, title, fileURL, mimeType, size, created, modified, "
                "orientation, formFactor, shareable, publishStart, publishEnd, highlight, "
                "highlightStart, highlightEnd, metatags, needsReadConfirmation, thumbnail) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                id, textOf(item, "title"), textOf(item, "file_location"),
                textOf(item, "file_mime_type"), item.value("file_size", std::int64_t{0}),
                dateOf(item, "time_created"), dateOf(item, "time_modified"),
                item.value("orientation", 0), item.value("published_for_form_factor", 0),
                item.value("shareable", 0), dateOf(item, "time_publication_period_start"),
                dateOf(item, "time_publication_period_end"), item.value("is_highlight", 0),
                dateOf(item, "time_is_highlight_period_start"),
                dateOf(item, "time_is_highlight_period_end"), metatags,
                item.value("readconfirmation", 0), thumbnailKey);
            !s.ok()) {
            return s;
        }
        const std::int64_t file = db_.lastInsertRowId();
        for (const char* link : {"INSERT INTO File_locales (file, locale) VALUES (?, ?)",
                                 "INSERT INTO File_users (file, user) VALUES (?, ?)"}) {
            const std::int64_t other =
                std::string(link).find("locale") != std::string::npos ? locale_ : user_;
            if (Status s = db_.run(link, file, other); !s.ok()) {
                return s;
            }
        }
        if (Status s = db_.run("INSERT INTO File_categories (file, category) VALUES (?, ?)", file,
                               category);
            !s.ok()) {
            return s;
        }
        if (Status s = db_.run("INSERT INTO FileState (file, user) VALUES (?, ?)", file, user_);
            !s.ok()) {
            return s;
        }
        const std::int64_t state = db_.lastInsertRowId();
        return db_.run(
            "INSERT INTO FileSorting (fileID, categoryID, localeID, position, files, "
            "fileState) VALUES (?, ?, ?, ?, ?, ?)",
            id, categoryID, localeID_, item.value("position", 0), file, state);
    }

    pagewell::Database& db_;
    const std::int64_t user_;
    const std::int64_t locale_;
    const std::int64_t localeID_;
    std::map<std::int64_t, std::int64_t> categoryKeys_;
};

// The floor: the category list, then every category's file list fetched and parsed by 4
// threads (the import's limit) while this thread writes what arrived; one transaction.
// `acceptEncodings` asks for compressed answers as the app does.
Status fetchParseInsert(const CmsProcess& cms, BenchClient& client, bool acceptEncodings) {
    const std::string api = cms.baseUrl() + "/api2/";
    const std::string token = pagewell::InterfaceManager::percentEscape(client.token());
    pagewell::Database& db = client.store().mainContext().database();
    FloorWriter writer(db, pagewell::CurrentSelection::userKey().value_or(0),
                       pagewell::CurrentSelection::localeKey().value_or(0), kEnglish);

    BenchHttp http(acceptEncodings);
    auto list = http.fetch(api + "category/list/" + std::to_string(kEnglish) + "?token=" + token);
    if (!list.ok()) {
        return list.error();
    }
    const nlohmann::json categories = nlohmann::json::parse(list.value(), nullptr, false);
    if (!categories.is_object() || !categories.contains("items")) {
        return pagewell::Error::make("ImportBench", 2, "an unreadable category list");
    }
    std::vector<std::int64_t> ids;
    for (const auto& item : categories.at("items")) {
        ids.push_back(idOf(item.at("id")).value_or(0));
    }
    if (Status begun = db.exec("BEGIN IMMEDIATE"); !begun.ok()) {
        return begun;
    }
    Status written = writer.categories(categories);

    ParsedAnswers answers(ids.size());
    std::atomic<std::size_t> nextIndex{0};
    std::vector<std::thread> fetchers;
    for (int i = 0; i < kParallelFetches; ++i) {
        fetchers.emplace_back([&] {
            BenchHttp own(acceptEncodings);
            for (std::size_t index = nextIndex++; index < ids.size(); index = nextIndex++) {
                auto body = own.fetch(api + "category/items/" + std::to_string(ids[index]) +
                                      "?token=" + token + "&locale=" + std::to_string(kEnglish));
                if (!body.ok()) {
                    answers.fail(body.error().description);
                    return;
                }
                nlohmann::json answer = nlohmann::json::parse(body.value(), nullptr, false);
                if (!answer.is_object()) {
                    answers.fail("an unreadable file list");
                    return;
                }
                answer["category"] = ids[index];
                answers.add(std::move(answer));
            }
        });
    }
    while (auto answer = answers.next()) {
        if (written.ok()) {
            written = writer.files(*answer, answer->at("category").get<std::int64_t>());
        }
    }
    for (auto& fetcher : fetchers) {
        fetcher.join();
    }
    if (auto failure = answers.failure()) {
        written = pagewell::Error::make("ImportBench", 1, *failure);
    }
    if (!written.ok()) {
        (void)db.exec("ROLLBACK");
        return written;
    }
    return db.exec("COMMIT");
}

// Runs `import` once per iteration on a freshly signed-in client and reports peak memory, the
// requests it made, the client's CPU and the rows it left in the store. `check` may reject what
// an import left behind (it reports the error and returns false).
void measureImports(benchmark::State& state, CmsProcess* cms,
                    const std::function<Status(const CmsProcess&, BenchClient&)>& import,
                    const std::function<bool(pagewell::Database&)>& check = nullptr) {
    if (cms == nullptr) {
        return;
    }
    double peak = 0;
    double growth = 0;
    double cpuMs = 0;
    RequestCounts requests;
    std::int64_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto client = signIn(state, *cms);
        if (!client || !succeeded(state, cms->clearRequests())) {
            return;
        }
        PeakMemory memory;
        memory.start();
        ProcessCpu cpu;
        cpu.start();
        state.ResumeTiming();

        if (!succeeded(state, import(*cms, *client))) {
            return;
        }

        state.PauseTiming();
        cpuMs += cpu.elapsedMs();
        peak = std::max(peak, memory.peakMiB());
        growth = std::max(growth, memory.growthMiB());
        requests = requestsSinceClear(state, *cms);
        pagewell::Database& db = client->store().mainContext().database();
        if (check && !check(db)) {
            return;
        }
        rows = storeRows(db);
        client.reset();
        state.ResumeTiming();
    }
    reportMemoryAndRequests(state, peak, growth, requests);
    state.counters["client_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(rows);
}

void floorRun(benchmark::State& state, bool acceptEncodings) {
    measureImports(state, server(state),
                   [acceptEncodings](const CmsProcess& cms, BenchClient& client) {
                       return fetchParseInsert(cms, client, acceptEncodings);
                   });
}

void BM_FloorFetchParseInsertSameRows(benchmark::State& state) {
    floorRun(state, false);
}
BENCHMARK(BM_FloorFetchParseInsertSameRows)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The same floor asking for compressed answers as the app's session does: how much of the
// import's time is the server compressing what it sends.
void BM_FloorFetchParseInsertSameRowsAcceptingEncodings(benchmark::State& state) {
    floorRun(state, true);
}
BENCHMARK(BM_FloorFetchParseInsertSameRowsAcceptingEncodings)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_FirstImportOfSyntheticCatalogue(benchmark::State& state) {
    measureImports(
        state, server(state),
        [](const CmsProcess&, BenchClient& client) { return client.syncCatalogue(); },
        [&state](pagewell::Database& db) {
            if (const auto files = count(db, "SELECT COUNT(*) FROM File"); files != kFiles) {
                state.SkipWithError(("imported " + std::to_string(files) + " files").c_str());
                return false;
            }
            return true;
        });
}
BENCHMARK(BM_FirstImportOfSyntheticCatalogue)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A first sync whose one category holds 100,000 files: one file-list answer of about 75 MB
// (`answer_MiB`, fetched once outside the timed part). Its `peak_MiB` is what holding and
// importing one large answer costs the client.
constexpr int kFilesInOneAnswer = 100'000;

void BM_FirstImportOfOneAnswerWith100000Files(benchmark::State& state) {
    const std::string files = std::to_string(kFilesInOneAnswer);
    CmsProcess* cms =
        CmsProcess::sharedServer(state, "one-category-" + files,
                                 {"--synthetic", files, "--min-size", "1024", "--max-size", "1024",
                                  "--files-per-category", files});
    measureImports(
        state, cms, [](const CmsProcess&, BenchClient& client) { return client.syncCatalogue(); },
        [&state, cms](pagewell::Database& db) {
            if (const auto imported = count(db, "SELECT COUNT(*) FROM File");
                imported != kFilesInOneAnswer) {
                state.SkipWithError(("imported " + std::to_string(imported) + " files").c_str());
                return false;
            }
            if (state.counters.count("answer_MiB") > 0) {
                return true;
            }
            auto answer = BenchHttp().fetch(cms->baseUrl() + "/api2/category/items/1?token=" +
                                            pagewell::InterfaceManager::percentEscape(
                                                pagewell::KeychainBridge::shared().token()) +
                                            "&locale=" + std::to_string(kEnglish));
            if (!answer.ok()) {
                state.SkipWithError(answer.error().description.c_str());
                return false;
            }
            state.counters["answer_MiB"] =
                static_cast<double>(answer.value().size()) / (1024.0 * 1024.0);
            return true;
        });
}
BENCHMARK(BM_FirstImportOfOneAnswerWith100000Files)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// A sync after a first import: nothing changed (`touched` 0), or one file in each of the
// first `touched` categories was touched on the server.
void syncAfterFirstImport(benchmark::State& state, int touched) {
    CmsProcess* cms = server(state);
    if (cms == nullptr) {
        return;
    }
    double peak = 0;
    double growth = 0;
    double cpuMs = 0;
    RequestCounts requests;
    for (auto _ : state) {
        state.PauseTiming();
        auto client = signIn(state, *cms);
        if (!client || !succeeded(state, client->syncCatalogue())) {
            return;
        }
        BenchHttp hooks;
        // Synthetic file N lies in category (N - 1) % 400 + 1: files 1..touched are in as many
        // categories.
        for (int file = 1; file <= touched; ++file) {
            auto answer = hooks.fetch(cms->baseUrl() + "/__test/catalogue/touch", "POST",
                                      nlohmann::json{{"file", file}}.dump());
            if (!answer.ok()) {
                state.SkipWithError(answer.error().description.c_str());
                return;
            }
        }
        if (!succeeded(state, cms->clearRequests())) {
            return;
        }
        PeakMemory memory;
        memory.start();
        ProcessCpu cpu;
        cpu.start();
        state.ResumeTiming();

        if (!succeeded(state, client->syncCatalogue())) {
            return;
        }

        state.PauseTiming();
        cpuMs += cpu.elapsedMs();
        peak = std::max(peak, memory.peakMiB());
        growth = std::max(growth, memory.growthMiB());
        requests = requestsSinceClear(state, *cms);
        client.reset();
        state.ResumeTiming();
    }
    reportMemoryAndRequests(state, peak, growth, requests);
    state.counters["client_cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
}

void BM_SecondSyncWithNoChange(benchmark::State& state) {
    syncAfterFirstImport(state, 0);
}
BENCHMARK(BM_SecondSyncWithNoChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_SyncAfterChangesInFiveCategories(benchmark::State& state) {
    syncAfterFirstImport(state, 5);
}
BENCHMARK(BM_SyncAfterChangesInFiveCategories)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
