// The shelf over a store of 20,000 files (a catalogue-only sync of pagewell-cms's synthetic
// catalogue), against its own statements run raw through the sqlite3 C API on the same file
// with the same title order and folding registered.
//
//   BM_ShelfRefreshSearchAllFiles      a refresh of a search that matches every file ("file"),
//                                      title order: the position copy, the key query and every
//                                      row read in batches of 100; `commits` counts what the
//                                      refreshes after the first committed (none expected),
//                                      `peak_MiB` / `growth_MiB` the resident high-water mark
//   BM_FloorShelfRefreshRawSqlite      the same UPDATE, SELECT and batch reads, raw
//   BM_ShelfSearchAsYouType            typing "Synthetic file 12345" with instant search: per
//                                      keystroke a refresh until the count and the first 100
//                                      rows; counters `median_ms` and `worst_ms` per keystroke
//   BM_FloorShelfSearchAsYouTypeRaw    the same per keystroke, raw
//
// Times are CPU times of this process (the server is idle once the store is built).

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unicode/coll.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "BenchClient.h"
#include "CmsProcess.h"
#include "PeakMemory.h"
#include "library/ShelfDatabaseFilter.h"
#include "library/ShelfResultList.h"
#include "library/ShelfTitleOrder.h"
#include "library/ShelfViewController.h"
#include "library/TitleKeyword.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/PersistentStore.h"

namespace {

using pagewell::bench::BenchClient;
using pagewell::bench::CmsProcess;
using pagewell::bench::PeakMemory;

constexpr int kFiles = 20'000;
constexpr const char* kTyped = "Synthetic file 12345";

// The client with its synchronised store, made once for every benchmark of this file.
BenchClient* client(benchmark::State& state) {
    static std::unique_ptr<BenchClient> made;
    static bool tried = false;
    if (!tried) {
        tried = true;
        CmsProcess* cms = CmsProcess::sharedServer(state, "synthetic-" + std::to_string(kFiles),
                                                   {"--synthetic", std::to_string(kFiles)});
        if (cms == nullptr) {
            return nullptr;
        }
        auto signedIn = BenchClient::signIn(cms->baseUrl(), "demo", "demo");
        if (!signedIn.ok()) {
            state.SkipWithError(signedIn.error().description.c_str());
            return nullptr;
        }
        if (auto synced = signedIn.value()->syncCatalogue(); !synced.ok()) {
            state.SkipWithError(synced.error().description.c_str());
            return nullptr;
        }
        made = std::move(signedIn).value();
    }
    if (!made) {
        state.SkipWithError("no synchronised store");
    }
    return made.get();
}

pagewell::ShelfScope scope() {
    pagewell::ShelfScope current;
    current.userKey = pagewell::CurrentSelection::userKey();
    current.localeKey = pagewell::CurrentSelection::localeKey();
    current.now = std::chrono::system_clock::now();
    current.reachable = true;
    return current;
}

std::shared_ptr<pagewell::ShelfViewController> shelf(BenchClient& bench) {
    pagewell::ShelfViewController::Services services;
    services.scope = scope;
    return pagewell::ShelfViewController::initWithShelfType(1, bench.store().mainContext(),
                                                            services);
}

// What the shelf does per refresh, as one raw connection does it.
class RawShelf {
  public:
    explicit RawShelf(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        UErrorCode status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale("en"), status));
        collator_->setStrength(icu::Collator::PRIMARY);
        collator_->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        sqlite3_create_collation_v2(
            db_, pagewell::ShelfTitleOrder::collationName("en").c_str(), SQLITE_UTF8,
            collator_.get(),
            [](void* context, int n1, const void* a, int n2, const void* b) {
                UErrorCode compared = U_ZERO_ERROR;
                return static_cast<int>(static_cast<icu::Collator*>(context)->compareUTF8(
                    icu::StringPiece(static_cast<const char*>(a), n1),
                    icu::StringPiece(static_cast<const char*>(b), n2), compared));
            },
            nullptr);
        sqlite3_create_function_v2(
            db_, pagewell::ShelfTitleOrder::kFoldFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
            nullptr,
            [](sqlite3_context* context, int, sqlite3_value** values) {
                if (sqlite3_value_type(values[0]) == SQLITE_NULL) {
                    sqlite3_result_null(context);
                    return;
                }
                std::string folded = pagewell::TitleKeyword::folded(
                    std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(values[0])),
                                     static_cast<std::size_t>(sqlite3_value_bytes(values[0]))));
                sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()),
                                    SQLITE_TRANSIENT);
            },
            nullptr, nullptr, nullptr);
    }
    ~RawShelf() {
        for (auto& [sql, statement] : statements_) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }

    // The position copy, the key query, then `rows` rows read in batches of 100.
    std::size_t refresh(const std::string& text, std::size_t rows) {
        auto filter = pagewell::ShelfDatabaseFilter::filterForHighlightFiles();
        filter.searchForString(text);
        const auto predicate = filter.predicate(scope());
        const std::string where = " WHERE " + predicate->sql;
        const std::string sorting =
            "(SELECT fs.position FROM FileSorting fs WHERE fs.fileID = (SELECT cmsID FROM File "
            "WHERE pk = FileState.file) AND fs.categoryID IS ?1 AND fs.localeID IS ?2 ORDER BY "
            "fs.pk LIMIT 1)";
        sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        run("UPDATE FileState SET position = " + sorting + " WHERE FileState.position IS NOT " +
                sorting +
                " AND FileState.pk IN (SELECT s.pk FROM FileState s JOIN File f ON f.pk = "
                "s.file" +
                where + ")",
            *predicate, 3, [](sqlite3_stmt* statement) {
                sqlite3_bind_null(statement, 1);
                sqlite3_bind_int64(statement, 2, 1);
            });
        sqlite3_exec(db_, sqlite3_changes(db_) > 0 ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                     nullptr);
        keys_.clear();
        run(pagewell::ShelfResultList::keySql(filter, predicate,
                                              pagewell::ShelfTitleOrder::collationName("en")),
            *predicate, 1, nullptr, [this](sqlite3_stmt* statement) {
                keys_.push_back(sqlite3_column_int64(statement, 0));
            });
        const std::size_t wanted = std::min(rows, keys_.size());
        sqlite3_stmt* batch = prepared(pagewell::ShelfResultList::rowSql());
        for (std::size_t first = 0; first < wanted; first += 100) {
            for (int i = 0; i < 100; ++i) {
                const std::size_t at = first + static_cast<std::size_t>(i);
                sqlite3_bind_int64(batch, i + 1, at < keys_.size() ? keys_[at] : 0);
            }
            while (sqlite3_step(batch) == SQLITE_ROW) {
                for (int column = 0; column < sqlite3_column_count(batch); ++column) {
                    benchmark::DoNotOptimize(sqlite3_column_text(batch, column));
                }
            }
            sqlite3_reset(batch);
        }
        return keys_.size();
    }

  private:
    sqlite3_stmt* prepared(const std::string& sql) {
        auto found = statements_.find(sql);
        if (found != statements_.end()) {
            return found->second;
        }
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        statements_[sql] = statement;
        return statement;
    }
    template <class Before, class Row = std::nullptr_t>
    void run(const std::string& sql, const pagewell::ShelfPredicate& predicate, int first,
             Before before, Row onRow = nullptr) {
        sqlite3_stmt* statement = prepared(sql);
        if constexpr (!std::is_same_v<Before, std::nullptr_t>) {
            before(statement);
        }
        int index = first;
        for (const auto& argument : predicate.arguments) {
            if (const auto* number = std::get_if<std::int64_t>(&argument)) {
                sqlite3_bind_int64(statement, index, *number);
            } else if (const auto* real = std::get_if<double>(&argument)) {
                sqlite3_bind_double(statement, index, *real);
            } else {
                const auto& text = std::get<std::string>(argument);
                sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                  SQLITE_TRANSIENT);
            }
            ++index;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            if constexpr (!std::is_same_v<Row, std::nullptr_t>) {
                onRow(statement);
            }
        }
        sqlite3_reset(statement);
    }

    sqlite3* db_ = nullptr;
    std::unique_ptr<icu::Collator> collator_;
    std::map<std::string, sqlite3_stmt*> statements_;
    std::vector<std::int64_t> keys_;

  public:
    RawShelf(const RawShelf&) = delete;
    RawShelf& operator=(const RawShelf&) = delete;
};

// The file the client's store has open, so that the floor reads the same rows.
std::string storeFile(BenchClient& bench) {
    return bench.store().path().string();
}

void reportKeystrokes(benchmark::State& state, std::vector<double> milliseconds) {
    if (milliseconds.empty()) {
        return;
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["worst_ms"] = milliseconds.back();
}

double elapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

void BM_ShelfRefreshSearchAllFiles(benchmark::State& state) {
    BenchClient* bench = client(state);
    if (bench == nullptr) {
        return;
    }
    auto screen = shelf(*bench);
    int commits = 0;
    auto& center = pagewell::NotificationCenter::shared();
    auto token = center.addObserver(pagewell::StoreContext::kStoreDidChangeEvent,
                                    [&commits](const pagewell::Notification&) { ++commits; });
    if (auto first = screen->performSearchWithText("file"); !first.ok()) {
        state.SkipWithError(first.error().description.c_str());
    }
    commits = 0;
    PeakMemory memory;
    memory.start();
    std::size_t shown = 0;
    for (auto _ : state) {
        if (auto refreshed = screen->updateContentFilter(); !refreshed.ok()) {
            state.SkipWithError(refreshed.error().description.c_str());
            break;
        }
        auto& results = *screen->results();
        auto rows = results.rows(0, results.count());
        shown = rows.ok() ? rows.value().size() : 0;
    }
    center.removeObserver(token);
    state.counters["rows"] = static_cast<double>(shown);
    state.counters["commits"] = commits;
    state.counters["peak_MiB"] = memory.peakMiB();
    state.counters["growth_MiB"] = memory.growthMiB();
}
BENCHMARK(BM_ShelfRefreshSearchAllFiles)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FloorShelfRefreshRawSqlite(benchmark::State& state) {
    BenchClient* bench = client(state);
    if (bench == nullptr) {
        return;
    }
    RawShelf raw(storeFile(*bench));
    std::size_t shown = 0;
    for (auto _ : state) {
        shown = raw.refresh("file", static_cast<std::size_t>(kFiles));
    }
    if (shown == 0) {
        // A floor that reads nothing would make any ratio against it meaningless.
        state.SkipWithError("the floor found no rows in the store");
    }
    state.counters["rows"] = static_cast<double>(shown);
}
BENCHMARK(BM_FloorShelfRefreshRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShelfSearchAsYouType(benchmark::State& state) {
    BenchClient* bench = client(state);
    if (bench == nullptr) {
        return;
    }
    auto screen = shelf(*bench);
    const std::string typed = kTyped;
    std::vector<double> keystrokes;
    for (auto _ : state) {
        for (std::size_t length = 1; length <= typed.size(); ++length) {
            const auto started = std::chrono::steady_clock::now();
            if (auto searched = screen->performSearchWithText(typed.substr(0, length));
                !searched.ok()) {
                state.SkipWithError(searched.error().description.c_str());
                return;
            }
            auto& results = *screen->results();
            benchmark::DoNotOptimize(results.count());
            benchmark::DoNotOptimize(results.rows(0, 100));
            keystrokes.push_back(elapsedMs(started));
        }
    }
    reportKeystrokes(state, keystrokes);
}
BENCHMARK(BM_ShelfSearchAsYouType)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FloorShelfSearchAsYouTypeRaw(benchmark::State& state) {
    BenchClient* bench = client(state);
    if (bench == nullptr) {
        return;
    }
    RawShelf raw(storeFile(*bench));
    const std::string typed = kTyped;
    std::vector<double> keystrokes;
    for (auto _ : state) {
        for (std::size_t length = 1; length <= typed.size(); ++length) {
            const auto started = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(raw.refresh(typed.substr(0, length), 100));
            keystrokes.push_back(elapsedMs(started));
        }
    }
    reportKeystrokes(state, keystrokes);
}
BENCHMARK(BM_FloorShelfSearchAsYouTypeRaw)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
