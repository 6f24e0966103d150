#include "sync/VXProtectedFileManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "TestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

namespace fs = std::filesystem;
using Manager = VXProtectedFileManager;

unsigned permissionsOf(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return 0xffffu;
    }
    return info.st_mode & 0777;
}

// 32 upper-case hexadecimal digits, ".", the extension.
bool hasUniqueNameForm(const std::string& name, const std::string& extension) {
    if (name.size() != 33 + extension.size() || name.substr(32) != "." + extension) {
        return false;
    }
    return std::all_of(name.begin(), name.begin() + 32,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

class VXProtectedFileManagerTest : public ::testing::Test {
  protected:
    VXProtectedFileManagerTest() {
        EXPECT_TRUE(areas_.createAll().ok());
        // Something outside every area that no operation may touch.
        fs::create_directories(outside_);
        EXPECT_TRUE(FileSystem::writeFileAtomically(outside_ / "victim.txt", "keep").ok());
    }

    fs::path documents() const { return areas_.documents(); }

    TemporaryDirectory dir_;
    FileAreas areas_{dir_.path() / "data"};
    fs::path outside_ = dir_.path() / "outside";
    std::optional<std::uint64_t> freeBytes_ = std::uint64_t{1} << 40;
    fs::path freeSpaceAskedFor_;
    Manager manager_{areas_, [this](const fs::path& path) {
                         freeSpaceAskedFor_ = path;
                         return freeBytes_;
                     }};
};

TEST_F(VXProtectedFileManagerTest, PathForDirectoryMapsAreaCodesAndAppendsEachPart) {
    const struct {
        int area;
        const char* subdirectory;
        fs::path expected;
    } cases[] = {
        {0, "a/b", areas_.documents() / "a" / "b"},
        {0, "", areas_.documents()},
        {1, "", areas_.temporary()},
        {2, "covers", areas_.caches() / "covers"},
        {0, "a//b/", areas_.documents() / "a" / "b"},
        {7, "a/b", fs::path()},
        {-1, "", fs::path()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manager_.pathForDirectory(c.area, c.subdirectory), c.expected)
            << c.area << " " << c.subdirectory;
    }
    EXPECT_EQ(manager_.pathForDirectory(0), areas_.documents());
}

TEST_F(VXProtectedFileManagerTest, WrittenFileReadsBackAndEverythingCreatedIsOwnerOnly) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "42/resources", "first", "a.pdf").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "42/resources", "second", "a.pdf").ok());

    auto read = manager_.readProtectedDataFromDirectory(0, "42/resources", "a.pdf");
    ASSERT_TRUE(read.ok()) << read.error().toString();
    EXPECT_EQ(read.value(), "second");
    EXPECT_EQ(permissionsOf(documents() / "42"), 0700u);
    EXPECT_EQ(permissionsOf(documents() / "42" / "resources"), 0700u);
    EXPECT_EQ(permissionsOf(documents() / "42" / "resources" / "a.pdf"), 0600u);
    // The temporary file of the write was renamed, not left behind.
    EXPECT_THAT(manager_.contentsForDirectory(0, "42/resources").value(),
                ::testing::ElementsAre("a.pdf"));

    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(1, "upload", "name.jpg").ok());
    EXPECT_EQ(FileSystem::readFile(areas_.temporary() / "name.jpg").value(), "upload");
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(1, "name.jpg").value(), "upload");
}

TEST_F(VXProtectedFileManagerTest, TooLittleFreeSpaceFailsAfterCreatingTheDirectory) {
    freeBytes_ = 5;
    auto status = manager_.writeProtectedDataToDirectory(0, "7", "0123456789", "big.pdf");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error(),
              Error::make(Manager::kErrorDomain, 101, "Not enough free space on disk"));
    EXPECT_TRUE(fs::is_directory(documents() / "7"));
    EXPECT_EQ(permissionsOf(documents() / "7"), 0700u);
    EXPECT_FALSE(fs::exists(documents() / "7" / "big.pdf"));
    EXPECT_EQ(freeSpaceAskedFor_, documents());

    freeBytes_ = std::nullopt;  // unreadable free space counts as none
    EXPECT_EQ(manager_.writeProtectedDataToDirectory(0, "7", "x", "small.pdf").error().code, 101);
}

TEST_F(VXProtectedFileManagerTest, DiskSpaceChecksCompareWithTheFreeBytes) {
    freeBytes_ = 10;
    EXPECT_TRUE(manager_.diskSpaceAvailableForSize(10));
    EXPECT_FALSE(manager_.diskSpaceAvailableForSize(11));
    EXPECT_TRUE(manager_.diskSpaceAvailableForFile("0123456789"));
    EXPECT_FALSE(manager_.diskSpaceAvailableForFile("0123456789A"));
    freeBytes_ = std::nullopt;
    EXPECT_FALSE(manager_.diskSpaceAvailableForSize(0));
}

TEST_F(VXProtectedFileManagerTest, DefaultFreeSpaceComesFromTheDocumentsFileSystem) {
    Manager real(areas_);
    EXPECT_TRUE(real.diskSpaceAvailableForSize(1));
    EXPECT_FALSE(real.diskSpaceAvailableForSize(UINT64_MAX));
}

TEST_F(VXProtectedFileManagerTest, RefusedFileIsError100) {
    fs::create_directories(documents() / "taken" / "a.pdf");  // a directory holds the name
    auto status = manager_.writeProtectedDataToDirectory(0, "taken", "data", "a.pdf");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error(), Error::make(Manager::kErrorDomain, 100, "File could not be created"));
}

TEST_F(VXProtectedFileManagerTest, MissingFilesAreError102) {
    auto removed = manager_.removeFile(0, "nothing", "here.pdf");
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.error(), Error::make(Manager::kErrorDomain, 102, "File does not exist"));
    EXPECT_EQ(manager_.removeDirectory(2, "nothing").error().code, 102);
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(0, "here.pdf").error().code, 102);
}

TEST_F(VXProtectedFileManagerTest, LockedDeviceRefusesRemovalAndReadingButNotWriting) {
    EXPECT_TRUE(manager_.protectedDataAvailable());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "9", "content", "doc.pdf").ok());
    manager_.setProtectedDataAvailable(false);

    auto removed = manager_.removeFile(0, "9", "doc.pdf");
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.error(), Error::make(Manager::kErrorDomain, 103, "Device is still locked"));
    EXPECT_EQ(manager_.removeDirectory(0, "9").error().code, 103);
    EXPECT_EQ(FileSystem::readFile(documents() / "9" / "doc.pdf").value(), "content");
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(0, "9", "doc.pdf").error().code, 103);
    EXPECT_TRUE(manager_.writeProtectedDataToDirectory(0, "9", "more", "other.pdf").ok());

    manager_.setProtectedDataAvailable(true);
    EXPECT_TRUE(manager_.removeFile(0, "9", "doc.pdf").ok());
    EXPECT_FALSE(fs::exists(documents() / "9" / "doc.pdf"));
}

TEST_F(VXProtectedFileManagerTest, RemovingADirectoryTakesItsWholeContent) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "12/res", "a", "1.png").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "12", "b", "file.pdf").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "13", "c", "file.pdf").ok());
    ASSERT_TRUE(manager_.removeDirectory(0, "12").ok());
    EXPECT_FALSE(fs::exists(documents() / "12"));
    EXPECT_TRUE(fs::exists(documents() / "13" / "file.pdf"));
    EXPECT_TRUE(fs::is_directory(documents()));
}

// Every way a removal could reach an area root or a place outside the areas.
TEST_F(VXProtectedFileManagerTest, RemovalsOfAreaRootsOrOutsideTheAreasAreRefused) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "a", "keep", "keep.txt").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(2, "keep", "keep.txt").ok());
    fs::create_symlink(outside_, documents() / "outlink");
    const std::string outsideFile = (outside_ / "victim.txt").string();
    const struct {
        const char* why;
        int area;
        std::string subdirectory;
        std::string fileName;
    } cases[] = {
        {"the area itself: empty name and empty subdirectory", 0, "", ""},
        {"the caches area itself", 2, "", ""},
        {"the area root reached through a/..", 0, "a/..", ""},
        {"the area root reached through the name", 0, "a", ".."},
        {"the area root reached through ./", 0, "./", "."},
        {"the data directory through ..", 0, "..", ""},
        {"above the data directory through ../..", 0, "../..", ""},
        {"a sibling area through ..", 0, "..", "tmp"},
        {"outside through .. in the name", 0, "a", "../../../outside/victim.txt"},
        {"an absolute subdirectory", 0, "/tmp", ""},
        {"an absolute name", 0, "", "/etc/hostname"},
        {"an absolute name reaching the outside file", 0, "", outsideFile},
        {"a symbolic link pointing outside, used as directory", 0, "outlink", "victim.txt"},
        {"a symbolic link pointing outside, then ..", 0, "outlink/..", ""},
        {"an unknown area", 7, "x", ""},
    };
    for (const auto& c : cases) {
        auto status = manager_.removeFile(c.area, c.subdirectory, c.fileName);
        ASSERT_FALSE(status.ok()) << c.why;
        EXPECT_EQ(status.error(), Error::make(Manager::kErrorDomain, 104,
                                              "Refusing to remove outside the app's file areas"))
            << c.why;
    }
    EXPECT_EQ(manager_.removeDirectory(0, "").error().code, 104);
    EXPECT_EQ(manager_.removeDirectory(0, "a/../..").error().code, 104);
    EXPECT_TRUE(fs::exists(documents() / "a" / "keep.txt"));
    EXPECT_TRUE(fs::exists(areas_.caches() / "keep.txt"));
    EXPECT_TRUE(fs::exists(outside_ / "victim.txt"));
    EXPECT_TRUE(fs::is_directory(areas_.temporary()));
}

TEST_F(VXProtectedFileManagerTest, RemovingASymbolicLinkLeavesItsTarget) {
    fs::create_symlink(outside_, documents() / "dirlink");
    fs::create_symlink(outside_ / "victim.txt", documents() / "filelink");
    ASSERT_TRUE(manager_.removeFile(0, "", "dirlink").ok());
    ASSERT_TRUE(manager_.removeFile(0, "", "filelink").ok());
    EXPECT_FALSE(fs::exists(fs::symlink_status(documents() / "dirlink")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(documents() / "filelink")));
    EXPECT_EQ(FileSystem::readFile(outside_ / "victim.txt").value(), "keep");

    // A link whose target is gone is still something to remove.
    fs::create_symlink(dir_.path() / "gone", documents() / "dangling");
    EXPECT_TRUE(manager_.removeFile(0, "", "dangling").ok());
    EXPECT_FALSE(fs::exists(fs::symlink_status(documents() / "dangling")));
}

TEST_F(VXProtectedFileManagerTest, ReadsWritesAndListingsStayInsideTheirArea) {
    fs::create_symlink(outside_, documents() / "outlink");
    fs::create_symlink(outside_ / "victim.txt", documents() / "victimlink");
    const struct {
        const char* why;
        const char* subdirectory;
        const char* fileName;
    } cases[] = {
        {".. in the subdirectory", "..", "escape.txt"},
        {".. in the name", "", "../escape.txt"},
        {"back out through a/../..", "a/../..", "escape.txt"},
        {"into the outside through ..", "../../outside", "victim.txt"},
        {"absolute subdirectory", "/tmp", "escape.txt"},
        {"absolute name", "", "/tmp/escape.txt"},
        {"a symbolic link pointing outside", "outlink", "victim.txt"},
        {"the area root as file", "", ""},
    };
    const Error refusal = Error::make(Manager::kErrorDomain, 105,
                                      "Refusing to use a path outside the app's file areas");
    for (const auto& c : cases) {
        auto written = manager_.writeProtectedDataToDirectory(0, c.subdirectory, "x", c.fileName);
        ASSERT_FALSE(written.ok()) << c.why;
        EXPECT_EQ(written.error(), refusal) << c.why;
        auto read = manager_.readProtectedDataFromDirectory(0, c.subdirectory, c.fileName);
        ASSERT_FALSE(read.ok()) << c.why;
        EXPECT_EQ(read.error(), refusal) << c.why;
        auto linked = manager_.createSymbolicLinkInDirectory(0, c.subdirectory, c.fileName,
                                                             documents() / "x");
        ASSERT_FALSE(linked.ok()) << c.why;
        EXPECT_EQ(linked.error(), refusal) << c.why;
    }
    // A link inside the area whose target is outside is not followed for reading.
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(0, "victimlink").error(), refusal);
    EXPECT_EQ(manager_.contentsForDirectory(0, "..").error(), refusal);
    EXPECT_EQ(manager_.contentsForDirectory(0, "outlink").error(), refusal);
    EXPECT_EQ(manager_.writeProtectedDataToDirectory(9, "x", "y.txt").error(), refusal);

    EXPECT_EQ(FileSystem::readFile(outside_ / "victim.txt").value(), "keep");
    EXPECT_THAT(manager_.contentsForDirectory(0, "../../outside").error(), refusal);
    std::vector<std::string> outsideNames;
    for (const auto& entry : fs::directory_iterator(outside_)) {
        outsideNames.push_back(entry.path().filename().string());
    }
    EXPECT_THAT(outsideNames, ::testing::ElementsAre("victim.txt"));
    EXPECT_FALSE(fs::exists(areas_.dataDirectory() / "escape.txt"));
    EXPECT_FALSE(fs::exists(dir_.path() / "escape.txt"));
}

TEST_F(VXProtectedFileManagerTest, HarmlessDotSegmentsThatStayInsideAreAllowed) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "a/../b", "inside", "f.txt").ok());
    EXPECT_EQ(FileSystem::readFile(documents() / "b" / "f.txt").value(), "inside");
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(0, "./b", "f.txt").value(), "inside");
    EXPECT_TRUE(manager_.removeFile(0, "b/../b", "f.txt").ok());
}

TEST_F(VXProtectedFileManagerTest, ContentsListTheNamesOrGiveTheSystemError) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(2, "thumbs", "1", "b.png").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(2, "thumbs", "2", "a.png").ok());
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(2, "thumbs/sub", "3", "c.png").ok());
    EXPECT_THAT(manager_.contentsForDirectory(2, "thumbs").value(),
                ::testing::ElementsAre("a.png", "b.png", "sub"));
    EXPECT_THAT(manager_.contentsForDirectory(2, "").value(), ::testing::ElementsAre("thumbs"));
    auto missing = manager_.contentsForDirectory(2, "missing");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().domain, kPosixErrorDomain);
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST_F(VXProtectedFileManagerTest, SymbolicAndHardLinksAreCreatedInAProtectedDirectory) {
    ASSERT_TRUE(manager_.writeProtectedDataToDirectory(0, "src", "pdf bytes", "orig.pdf").ok());
    const fs::path original = documents() / "src" / "orig.pdf";

    ASSERT_TRUE(manager_.createSymbolicLinkInDirectory(0, "links/soft", "s.pdf", original).ok());
    const fs::path soft = documents() / "links" / "soft" / "s.pdf";
    EXPECT_EQ(permissionsOf(documents() / "links"), 0700u);
    EXPECT_EQ(permissionsOf(documents() / "links" / "soft"), 0700u);
    EXPECT_TRUE(fs::is_symlink(soft));
    EXPECT_EQ(fs::read_symlink(soft), original);
    EXPECT_EQ(manager_.readProtectedDataFromDirectory(0, "links/soft", "s.pdf").value(),
              "pdf bytes");

    ASSERT_TRUE(manager_.createHardLinkInDirectory(0, "links/hard", "h.pdf", original).ok());
    const fs::path hard = documents() / "links" / "hard" / "h.pdf";
    EXPECT_FALSE(fs::is_symlink(hard));
    EXPECT_TRUE(fs::equivalent(hard, original));
    EXPECT_EQ(fs::hard_link_count(original), 2u);

    auto again = manager_.createSymbolicLinkInDirectory(0, "links/soft", "s.pdf", original);
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().code, EEXIST);
    auto noOriginal =
        manager_.createHardLinkInDirectory(0, "links/hard", "n.pdf", documents() / "missing");
    ASSERT_FALSE(noOriginal.ok());
    EXPECT_EQ(noOriginal.error().code, ENOENT);
}

TEST_F(VXProtectedFileManagerTest, UniqueNamesAreUpperCaseHexUuidsWithTheExtension) {
    const std::string first = Manager::createUniqueFilenameWithExtension("pdf");
    const std::string second = manager_.createUniqueFilenameWithExtension("pdf");
    EXPECT_NE(first, second);
    EXPECT_TRUE(hasUniqueNameForm(first, "pdf")) << first;
    EXPECT_TRUE(hasUniqueNameForm(second, "pdf")) << second;
    EXPECT_EQ(first[12], '4');  // random (version 4) UUID
    EXPECT_NE(std::string("89AB").find(first[16]), std::string::npos);
    const std::string jpeg = Manager::createUniqueFilenameWithExtension("jpeg");
    EXPECT_TRUE(hasUniqueNameForm(jpeg, "jpeg")) << jpeg;
    EXPECT_FALSE(hasUniqueNameForm("0123456789abcdef0123456789ABCDEF.pdf", "pdf"));
}

TEST_F(VXProtectedFileManagerTest, ProtectFileAtPathMakesAFileOwnerOnly) {
    const fs::path file = areas_.caches() / "download.pdf";
    { std::ofstream(file) << "bytes"; }
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    ASSERT_TRUE(Manager::protectFileAtPath(file).ok());
    EXPECT_EQ(permissionsOf(file), 0600u);
    auto missing = Manager::protectFileAtPath(areas_.caches() / "missing.pdf");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST(VXProtectedFileManagerSharedTest, SharedInstanceFollowsTheSharedAreasAndIsReplaceable) {
    TemporaryDirectory dir;
    FileAreas::setShared(std::make_shared<FileAreas>(dir.path()));
    Manager::setSharedInstance(nullptr);
    EXPECT_EQ(Manager::sharedInstance().pathForDirectory(1, "x"), dir.path() / "tmp" / "x");
    EXPECT_EQ(&Manager::sharedInstance(), &Manager::sharedInstance());

    auto replacement = std::make_shared<Manager>(FileAreas(dir.path() / "other"));
    Manager::setSharedInstance(replacement);
    EXPECT_EQ(&Manager::sharedInstance(), replacement.get());
    Manager::setSharedInstance(nullptr);
    FileAreas::setShared(nullptr);
}

}  // namespace
}  // namespace pagewell
