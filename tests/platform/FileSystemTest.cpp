#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"

namespace pagewell {
namespace {

TEST(FileSystemTest, AtomicWriteReplacesContentOwnerOnlyAndLeavesNoTemporary) {
    TemporaryDirectory dir;
    auto file = dir.path() / "settings.plist";
    ASSERT_TRUE(FileSystem::writeFileAtomically(file, "first").ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(file, "second").ok());
    EXPECT_EQ(FileSystem::readFile(file).value(), "second");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(FileSystemTest, AtomicWriteIntoMissingDirectoryFailsWithPosixError) {
    TemporaryDirectory dir;
    auto result = FileSystem::writeFileAtomically(dir.path() / "missing" / "x", "data");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().domain, kPosixErrorDomain);
    EXPECT_EQ(result.error().code, ENOENT);
}

TEST(FileSystemTest, ReadingAMissingFileOrADirectoryIsAnErrorValue) {
    TemporaryDirectory dir;
    auto missing = FileSystem::readFile(dir.path() / "missing");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    auto directory = FileSystem::readFile(dir.path());
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error().code, EISDIR);
}

TEST(FileSystemTest, CreateDirectoriesMakesEveryNewLevelOwnerOnly) {
    TemporaryDirectory dir;
    ASSERT_TRUE(FileSystem::createDirectories(dir.path() / "a" / "b").ok());
    for (auto p : {dir.path() / "a", dir.path() / "a" / "b"}) {
        struct stat info {};
        ASSERT_EQ(::stat(p.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << p;
    }
}

}  // namespace
}  // namespace pagewell
