#include "platform/DataDirectoryLock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"

namespace pagewell {
namespace {

using std::chrono::milliseconds;

// flock locks belong to open file descriptions, so two locks opened by one process on one file
// conflict exactly as two processes would.
class DataDirectoryLockTest : public ::testing::Test {
  protected:
    TemporaryDirectory dir_;
    std::filesystem::path lockFile_ = dir_.path() / "data" / ".lock";
};

TEST_F(DataDirectoryLockTest, SecondWriterFailsAfterTheWaitWithTheBusyError) {
    auto first = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
    ASSERT_TRUE(first.ok()) << first.error().toString();
    EXPECT_TRUE(first.value().held());

    for (auto wait : {milliseconds{0}, milliseconds{120}}) {
        auto second = DataDirectoryLock::acquire(lockFile_, wait);
        ASSERT_FALSE(second.ok());
        EXPECT_EQ(second.error().domain, DataDirectoryLock::kErrorDomain);
        EXPECT_EQ(second.error().code, DataDirectoryLock::kHeldElsewhere);
        EXPECT_EQ(second.error().description,
                  "another pagewell process is using " + (dir_.path() / "data").string());
    }
}

TEST_F(DataDirectoryLockTest, ReleasingTheLockLetsTheNextWriterIn) {
    {
        auto first = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
        ASSERT_TRUE(first.ok());
    }
    auto second = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
    EXPECT_TRUE(second.ok());
}

TEST_F(DataDirectoryLockTest, MovingKeepsTheLockAndOnlyTheLastOwnerReleasesIt) {
    auto acquired = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
    ASSERT_TRUE(acquired.ok());
    DataDirectoryLock owner = std::move(acquired).value();
    {
        DataDirectoryLock moved = std::move(owner);
        EXPECT_FALSE(owner.held());  // NOLINT(bugprone-use-after-move): the moved-from state
        EXPECT_FALSE(DataDirectoryLock::acquire(lockFile_, milliseconds{0}).ok());
    }
    EXPECT_TRUE(DataDirectoryLock::acquire(lockFile_, milliseconds{0}).ok());
}

TEST_F(DataDirectoryLockTest, LockFileAndItsDirectoryAreCreatedOwnerOnly) {
    auto lock = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
    ASSERT_TRUE(lock.ok());
    EXPECT_EQ(lock.value().path(), lockFile_);
    struct stat info {};
    ASSERT_EQ(::stat(lockFile_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(lockFile_.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(DataDirectoryLockTest, UnopenableLockFileGivesTheSystemError) {
    // The lock file's place is taken by a directory.
    std::filesystem::create_directories(lockFile_);
    auto lock = DataDirectoryLock::acquire(lockFile_, milliseconds{0});
    ASSERT_FALSE(lock.ok());
    EXPECT_EQ(lock.error().domain, kPosixErrorDomain);
    EXPECT_EQ(lock.error().code, EISDIR);
}

}  // namespace
}  // namespace pagewell
