// What finding-or-creating a catalogue costs: 50,000 files, each with its locale, user,
// category link, sorting and the user's state, found-or-created in one background context
// the way an import does it, against a floor of plain prepared INSERTs of the same rows in
// one transaction, measured in the same run. Peak memory (ru_maxrss) is reported with both.
//
// Each find-or-create saves its context (so another thread finds the record at once); that
// commit per call, not the look-ups, is most of the distance to the floor. The batched run
// does the same work inside one FindOrCreateBatch: one transaction, one commit at the end.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileAreas.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileSorting.h"
#include "store/FindOrCreateBatch.h"
#include "store/PersistentStore.h"

namespace {

using pagewell::PersistentStore;
using pagewell::StoreContext;

constexpr std::int64_t kFiles = 50'000;
constexpr std::int64_t kCategories = 100;
constexpr std::int64_t kLocaleID = 1;

std::filesystem::path freshDirectory(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    return pattern;
}

double peakMemoryMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

// A new store with one user and one locale, both chosen.
struct Fixture {
    std::filesystem::path directory = freshDirectory("pagewell-bench-store");
    std::shared_ptr<PersistentStore> store;
    std::int64_t userKey = 0;
    std::int64_t localeKey = 0;

    Fixture() {
        auto opened = PersistentStore::open(directory / PersistentStore::kFileName);
        if (!opened.ok()) {
            std::abort();
        }
        store = opened.value();
        pagewell::Database& db = store->mainContext().database();
        if (!db.run("INSERT INTO User (cmsID, username) VALUES (?, ?)", 1, "bench").ok()) {
            std::abort();
        }
        userKey = db.lastInsertRowId();
        if (!db.run("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", kLocaleID, "English").ok()) {
            std::abort();
        }
        localeKey = db.lastInsertRowId();
        pagewell::CurrentSelection::setUser(userKey, "bench");
        pagewell::CurrentSelection::setLocale(localeKey);
    }
    ~Fixture() {
        pagewell::CurrentSelection::clear();
        store.reset();
        std::filesystem::remove_all(directory);
    }
};

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// One import of the whole catalogue in a private context; `batched` wraps it in one
// FindOrCreateBatch.
void findOrCreateAll(benchmark::State& state, bool batched) {
    pagewell::NotificationCenter::setShared(nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        auto fixture = std::make_unique<Fixture>();
        state.ResumeTiming();

        auto context = fixture->store->newPrivateContext();
        check(context.ok());
        StoreContext& ctx = *context.value();
        std::optional<pagewell::FindOrCreateBatch> batch;
        if (batched) {
            batch.emplace(ctx);
            check(batch->begun().ok());
        }
        std::int64_t categoryKeys[kCategories];
        for (std::int64_t c = 0; c < kCategories; ++c) {
            auto category =
                pagewell::FileCategory::fileCategoryWithID(ctx, 1'000 + c, fixture->localeKey);
            check(category.ok() && category.value());
            categoryKeys[c] = category.value()->pk;
        }
        for (std::int64_t id = 1; id <= kFiles; ++id) {
            auto file = pagewell::File::fileWithId(ctx, id, fixture->localeKey);
            check(file.ok() && file.value());
            check(file.value()->addUser(ctx, fixture->userKey).ok());
            check(file.value()->addCategory(ctx, categoryKeys[id % kCategories]).ok());
            auto sorting = pagewell::FileSorting::createSortingWithFile(
                ctx, *file.value(), 1'000 + id % kCategories, kLocaleID);
            check(sorting.ok());
        }
        check(batch ? batch->commit().ok() : ctx.save().ok());

        state.PauseTiming();
        batch.reset();
        context.value().reset();
        fixture.reset();
        state.ResumeTiming();
    }
    state.counters["files"] = static_cast<double>(kFiles);
    state.counters["peak_MiB"] = peakMemoryMiB();
}

void BM_FindOrCreateFilesWithStateSortingAndCategory(benchmark::State& state) {
    findOrCreateAll(state, false);
}

void BM_FindOrCreateFilesInOneBatch(benchmark::State& state) {
    findOrCreateAll(state, true);
}

// The floor: the same rows (category, file, locale link, user link, category link, state,
// sorting) with plain prepared INSERTs in one transaction, no look-ups.
void BM_FloorPlainInsertsOfTheSameRows(benchmark::State& state) {
    pagewell::NotificationCenter::setShared(nullptr);
    for (auto _ : state) {
        state.PauseTiming();
        auto fixture = std::make_unique<Fixture>();
        state.ResumeTiming();

        auto context = fixture->store->newPrivateContext();
        check(context.ok());
        pagewell::Database& db = context.value()->database();
        check(db.exec("BEGIN IMMEDIATE").ok());
        std::int64_t categoryKeys[kCategories];
        for (std::int64_t c = 0; c < kCategories; ++c) {
            check(db.run("INSERT INTO FileCategory (cmsID, localeID, locale) VALUES (?, ?, ?)",
                         1'000 + c, kLocaleID, fixture->localeKey)
                      .ok());
            categoryKeys[c] = db.lastInsertRowId();
            check(db.run("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)",
                         categoryKeys[c], fixture->userKey)
                      .ok());
        }
        for (std::int64_t id = 1; id <= kFiles; ++id) {
            check(db.run("INSERT INTO File (cmsID) VALUES (?)", id).ok());
            const std::int64_t file = db.lastInsertRowId();
            check(db.run("INSERT INTO File_locales (file, locale) VALUES (?, ?)", file,
                         fixture->localeKey)
                      .ok());
            check(
                db.run("INSERT INTO File_users (file, user) VALUES (?, ?)", file, fixture->userKey)
                    .ok());
            check(db.run("INSERT INTO File_categories (file, category) VALUES (?, ?)", file,
                         categoryKeys[id % kCategories])
                      .ok());
            check(db.run("INSERT INTO FileState (file, user) VALUES (?, ?)", file, fixture->userKey)
                      .ok());
            const std::int64_t fileState = db.lastInsertRowId();
            check(db.run("INSERT INTO FileSorting (fileID, categoryID, localeID, files, "
                         "fileState) VALUES (?, ?, ?, ?, ?)",
                         id, 1'000 + id % kCategories, kLocaleID, file, fileState)
                      .ok());
        }
        check(db.exec("COMMIT").ok());

        state.PauseTiming();
        context.value().reset();
        fixture.reset();
        state.ResumeTiming();
    }
    state.counters["files"] = static_cast<double>(kFiles);
    state.counters["peak_MiB"] = peakMemoryMiB();
}

BENCHMARK(BM_FloorPlainInsertsOfTheSameRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOrCreateFilesInOneBatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOrCreateFilesWithStateSortingAndCategory)->Unit(benchmark::kMillisecond);

}  // namespace
