// A batch keeps find-or-create's saves for its end: identity still holds inside it, other
// contexts see the records once it commits, and without a batch each call saves at once.

#include <gtest/gtest.h>

#include <thread>

#include "store/File.h"
#include "store/FileSorting.h"
#include "store/FindOrCreateBatch.h"
#include "store/StoreFixture.h"

namespace pagewell {
namespace {

class FindOrCreateBatchTest : public StoreFixture {};

TEST_F(FindOrCreateBatchTest, RecordsAppearToOthersAtCommitAndStayUnique) {
    auto importer = store_->newPrivateContext();
    ASSERT_TRUE(importer.ok());
    StoreContext& ctx = *importer.value();
    {
        FindOrCreateBatch batch(ctx);
        ASSERT_TRUE(batch.begun().ok());
        EXPECT_TRUE(FindOrCreateBatch::holds(ctx));
        EXPECT_FALSE(FindOrCreateBatch::holds(main()));
        for (int round = 0; round < 2; ++round) {
            auto file = File::fileWithId(ctx, 7, localeKey_);
            ASSERT_TRUE(file.ok() && file.value());
            ASSERT_TRUE(FileSorting::createSortingWithFile(ctx, *file.value(), 30, 1).ok());
        }
        EXPECT_TRUE(ctx.inWrite());
        EXPECT_EQ(scalar(ctx, "SELECT count(*) FROM File"), 1);
        EXPECT_EQ(scalar(ctx, "SELECT count(*) FROM FileSorting"), 1);
        EXPECT_EQ(scalar(ctx, "SELECT count(*) FROM FileState"), 1);
        EXPECT_EQ(scalar("SELECT count(*) FROM File"), 0);  // not committed yet

        ASSERT_TRUE(batch.commit().ok());
        EXPECT_FALSE(ctx.inWrite());
        EXPECT_FALSE(FindOrCreateBatch::holds(ctx));
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 1);

    // Without a batch every find-or-create is visible to others at once.
    ASSERT_TRUE(File::fileWithId(ctx, 8, localeKey_).ok());
    EXPECT_FALSE(ctx.inWrite());
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 2);
}

TEST_F(FindOrCreateBatchTest, ABatchOnOneThreadDoesNotHoldBackAnotherThreadsSaves) {
    auto importer = store_->newPrivateContext();
    ASSERT_TRUE(importer.ok());
    FindOrCreateBatch batch(*importer.value());
    bool heldElsewhere = true;
    std::thread other([&] { heldElsewhere = FindOrCreateBatch::holds(*importer.value()); });
    other.join();
    EXPECT_FALSE(heldElsewhere);
    // Ending the batch without commit leaves its work unsaved in the context.
    ASSERT_TRUE(File::fileWithId(*importer.value(), 9, localeKey_).ok());
    EXPECT_TRUE(importer.value()->inWrite());
}

}  // namespace
}  // namespace pagewell
