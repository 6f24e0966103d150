// Four threads, each with a private context of its own, find-or-create the same records at
// the same time and must leave exactly one of each.
//
// Why this would fail without the protection: a find-or-create is "look up, and insert when
// absent". Two threads that both look up before either has committed both miss and both
// insert, and the store ends up with twins (two File rows for one cmsID, two states for one
// user). Three things stop that here: each find-or-create takes the context's writer lock
// (BEGIN IMMEDIATE) before it looks up, so its look-up sees every record another context
// committed; the process-wide entity lock is held from look-up to save; and the UNIQUE
// identity indexes reject a twin outright. With all three removed (look-up in autocommit
// mode, no entity lock, plain indexes) the interleaving "A looks up, B looks up, A inserts,
// B inserts" leaves two records and the counts below exceed 1,000.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "store/CategorySorting.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileSorting.h"
#include "store/StoreFixture.h"

namespace pagewell {
namespace {

class FindOrCreateConcurrencyTest : public StoreFixture {};

constexpr int kThreads = 4;
constexpr std::int64_t kFiles = 1'000;
constexpr std::int64_t kCategories = 50;

// One thread's import: every file, its category, its sorting in the category and the
// category's sorting, in an order of its own so that the threads collide everywhere.
std::string importAll(PersistentStore& store, std::int64_t localeKey, int thread) {
    auto context = store.newPrivateContext();
    if (!context.ok()) {
        return context.error().description;
    }
    StoreContext& ctx = *context.value();
    for (std::int64_t step = 0; step < kFiles; ++step) {
        const std::int64_t id = 1 + (step * 7 + thread * 250) % kFiles;
        const std::int64_t categoryID = 5'000 + id % kCategories;
        auto file = File::fileWithId(ctx, id, localeKey);
        if (!file.ok() || !file.value()) {
            return "file " + std::to_string(id);
        }
        auto category = FileCategory::fileCategoryWithID(ctx, categoryID, localeKey);
        if (!category.ok() || !category.value()) {
            return "category " + std::to_string(categoryID);
        }
        if (!file.value()->addCategory(ctx, category.value()->pk).ok()) {
            return "category link " + std::to_string(id);
        }
        auto sorting = FileSorting::createSortingWithFile(ctx, *file.value(), categoryID, 1);
        if (!sorting.ok()) {
            return "sorting " + std::to_string(id) + ": " + sorting.error().description;
        }
        auto categorySorting = CategorySorting::sortingWithID(ctx, 9'000 + id % kCategories,
                                                              category.value()->pk, 4'999, 1);
        if (!categorySorting.ok() || !categorySorting.value()) {
            return "category sorting " + std::to_string(id);
        }
    }
    return {};
}

TEST_F(FindOrCreateConcurrencyTest, FourThreadsLeaveExactlyOneRecordEach) {
    std::vector<std::string> failures(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();  // start together
            }
            failures[t] = importAll(*store_, localeKey_, t);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], "") << "thread " << t;
    }

    EXPECT_EQ(scalar("SELECT count(*) FROM File"), kFiles);
    EXPECT_EQ(scalar("SELECT count(DISTINCT cmsID) FROM File"), kFiles);
    EXPECT_EQ(scalar("SELECT count(*) FROM File_locales"), kFiles);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileCategory"), kCategories);
    EXPECT_EQ(scalar("SELECT count(*) FROM File_categories"), kFiles);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileSorting"), kFiles);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileState"), kFiles);
    EXPECT_EQ(scalar("SELECT count(*) FROM CategorySorting"), kCategories);
    // Every sorting points at the one state of its file.
    EXPECT_EQ(scalar("SELECT count(*) FROM FileSorting s JOIN FileState f ON f.pk = s.fileState "
                     "AND f.file = s.files"),
              kFiles);
}

}  // namespace
}  // namespace pagewell
