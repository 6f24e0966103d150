#include "store/ItemDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "StoreRulesTestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

namespace fs = std::filesystem;

unsigned permissionsOf(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0xffffu;
}

bool isUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

class ItemDirectoryTest : public SharedAreasTest {};

TEST_F(ItemDirectoryTest, OneOwnerOnlyFolderPerFileInTheDocumentsArea) {
    const struct {
        std::int32_t cmsID;
        const char* name;
    } cases[] = {{12, "12"}, {0, "0"}, {2147483647, "2147483647"}, {-7, "-7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string directory = ItemDirectory::itemDirectoryForFile(c.cmsID);
        EXPECT_EQ(directory, areas_->documents().string() + "/" + c.name);
        EXPECT_TRUE(fs::is_directory(directory));
        EXPECT_EQ(permissionsOf(directory), 0700u);
    }
}

TEST_F(ItemDirectoryTest, AnExistingFolderIsKeptWithItsContent) {
    const std::string directory = ItemDirectory::itemDirectoryForFile(12);
    ASSERT_TRUE(FileSystem::writeFileAtomically(fs::path(directory) / "A.pdf", "x").ok());
    EXPECT_EQ(ItemDirectory::itemDirectoryForFile(12), directory);
    EXPECT_TRUE(fs::exists(fs::path(directory) / "A.pdf"));
    EXPECT_TRUE(log_->messages().empty());
}

TEST_F(ItemDirectoryTest, MissingParentsAreCreated) {
    fs::remove_all(areas_->documents());
    EXPECT_TRUE(fs::is_directory(ItemDirectory::itemDirectoryForFile(5)));
    EXPECT_EQ(permissionsOf(areas_->documents()), 0700u);
}

TEST_F(ItemDirectoryTest, ACreationFailureIsLoggedAndThePathStillGiven) {
    // A file where the documents folder belongs makes every item folder impossible.
    fs::remove_all(areas_->documents());
    ASSERT_TRUE(FileSystem::writeFileAtomically(areas_->documents(), "not a folder").ok());
    EXPECT_EQ(ItemDirectory::itemDirectoryForFile(12), areas_->documents().string() + "/12");
    EXPECT_TRUE(log_->contains("Error["));
}

TEST_F(ItemDirectoryTest, UniqueFilesStayInTheirDirectory) {
    const std::string directory = ItemDirectory::itemDirectoryForFile(12);
    const struct {
        const char* extension;
        const char* kept;
    } cases[] = {
        {"pdf", "pdf"},
        {"PDF", "PDF"},
        {"mp4", "mp4"},
        {"", ""},
        {"../../etc", "etc"},
        {"a/b", "ab"},
        {"tar.gz", "targz"},
        {"png?width=300", "pngwidth300"},
        {"p\xC3\xBC"
         "f",
         "pf"},  // "püf": only ASCII letters and digits
        {"..", ""},
        {"abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension);
        EXPECT_EQ(ItemDirectory::sanitizedExtension(c.extension), c.kept);
        const fs::path file = ItemDirectory::uniqueFileInDirectoryPath(directory, c.extension);
        EXPECT_EQ(file.parent_path(), fs::path(directory));
        const std::string name = file.filename().string();
        ASSERT_EQ(name.size(), 33 + std::string(c.kept).size());
        EXPECT_TRUE(std::all_of(name.begin(), name.begin() + 32, isUpperHex)) << name;
        EXPECT_EQ(name.substr(32), "." + std::string(c.kept));
    }
    EXPECT_NE(ItemDirectory::uniqueFileInDirectoryPath(directory, "pdf"),
              ItemDirectory::uniqueFileInDirectoryPath(directory, "pdf"));
}

}  // namespace
}  // namespace pagewell
