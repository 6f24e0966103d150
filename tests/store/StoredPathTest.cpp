#include "store/StoredPath.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "StoreRulesTestSupport.h"
#include "platform/FileSystem.h"

namespace pagewell {
namespace {

namespace fs = std::filesystem;

// The text rules need no disk: fixed data directories show them best.
TEST(StoredPathTextTest, RelativeFormRemovesTheDataDirectoryWherever) {
    const FileAreas areas("/srv/pw/data");
    const struct {
        const char* absolute;
        const char* expected;
    } cases[] = {
        {"/srv/pw/data/Documents/12/A1.pdf", "/Documents/12/A1.pdf"},
        {"/srv/pw/data/tmp/B2.part", "/tmp/B2.part"},
        {"/Documents/12/A1.pdf", "/Documents/12/A1.pdf"},  // already relative
        {"/elsewhere/Documents/12/A1.pdf", "/elsewhere/Documents/12/A1.pdf"},
        {"", ""},
        // Every occurrence goes, not only a leading one.
        {"/srv/pw/data/Documents/srv/pw/data/x", "/Documents/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.absolute);
        EXPECT_EQ(StoredPath::getRelativePath(c.absolute, areas), c.expected);
    }
}

TEST(StoredPathTextTest, DataDirectoryAtTheRootLeavesPathsWhole) {
    // Removing "/" would glue the components together.
    EXPECT_EQ(StoredPath::getRelativePath("/Documents/12/a.pdf", FileAreas("/")),
              "/Documents/12/a.pdf");
}

TEST(StoredPathTextTest, AbsoluteFormRebasesAndExpands) {
    const FileAreas areas("/srv/pw/data");
    const struct {
        const char* stored;
        const char* expected;
        const char* why;
    } cases[] = {
        {"/Documents/12/a.pdf", "/srv/pw/data/Documents/12/a.pdf", "relative form"},
        {"/tmp/x.part", "/srv/pw/data/tmp/x.part", "relative form, temporary"},
        {"/old/container/Documents/12/a.pdf", "/srv/pw/data/Documents/12/a.pdf",
         "saved under an older data directory"},
        {"/var/Containers/Data/0A1B/tmp/x.part", "/srv/pw/data/tmp/x.part",
         "older data directory, temporary"},
        {"/srv/pw/data/Documents/12/a.pdf", "/srv/pw/data/Documents/12/a.pdf",
         "current absolute path"},
        {"Documents/12/a.pdf", "/srv/pw/data/Documents/12/a.pdf", "no leading separator"},
        {"/Documents//12/a.pdf", "/srv/pw/data/Documents/12/a.pdf", "empty component"},
        {"/a/tmp/Documents/x", "/srv/pw/data/tmp/Documents/x", "the first of the two wins"},
        {"/etc/passwd", "/etc/passwd", "neither folder: unchanged"},
        {"", "", "empty"},
        // The expansion is textual and "tmp" is tried first: a name containing it is expanded
        // there. Generated names are upper-case hexadecimal, so they never contain it.
        {"/Documents/12/tmp.pdf", "Documents/12//srv/pw/data/tmp.pdf", "text rule"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(StoredPath::getAbsolutePath(c.stored, areas), c.expected);
    }
}

TEST(StoredPathTextTest, RelativeFormRoundTripsWhereverTheDataDirectoryIs) {
    // Data directories below a "Documents" or "tmp" folder of their own included.
    for (const char* dataDirectory :
         {"/home/anna/.local/share/pagewell", "/home/anna/Documents/pagewell", "/tmp/pagewell"}) {
        SCOPED_TRACE(dataDirectory);
        const FileAreas areas(dataDirectory);
        for (const fs::path& path :
             {areas.documents() / "12" / "0A1B2C3D.pdf", areas.temporary() / "0A1B2C3D.part"}) {
            const std::string relative = StoredPath::getRelativePath(path.string(), areas);
            EXPECT_TRUE(relative.starts_with("/Documents/") || relative.starts_with("/tmp/"))
                << relative;
            EXPECT_EQ(StoredPath::getAbsolutePath(relative, areas), path.string());
        }
    }
}

TEST(StoredPathTextTest, CurrentAbsolutePathBelowATmpFolderIsRebasedThere) {
    // Known consequence of rebasing at the first "tmp"/"Documents" component: only the
    // relative form is stable, which is why the store keeps that form.
    const FileAreas areas("/tmp/pagewell");
    EXPECT_EQ(StoredPath::getAbsolutePath("/tmp/pagewell/Documents/1/a.pdf", areas),
              "/tmp/pagewell/tmp/pagewell/Documents/1/a.pdf");
}

class StoredPathTest : public SharedAreasTest {
  protected:
    void SetUp() override {
        SharedAreasTest::SetUp();
        fs::create_directories(outside_);
        ASSERT_TRUE(FileSystem::writeFileAtomically(outside_ / "victim.txt", "keep").ok());
        ASSERT_TRUE(FileSystem::createDirectories(areas_->documents() / "12").ok());
        ASSERT_TRUE(FileSystem::writeFileAtomically(file_, "content").ok());
    }

    static fs::path canonical(const fs::path& path) { return fs::weakly_canonical(path); }

    fs::path outside_ = dir_.path() / "outside";
    fs::path file_ = areas_->documents() / "12" / "0A1B.pdf";
};

TEST_F(StoredPathTest, ResolvesPlacesInsideEachArea) {
    const struct {
        const char* stored;
        fs::path expected;
    } cases[] = {
        {"/Documents/12/0A1B.pdf", areas_->documents() / "12" / "0A1B.pdf"},
        {"/Documents/12/not-yet-there.pdf", areas_->documents() / "12" / "not-yet-there.pdf"},
        {"/Documents/13/new/deeper.pdf", areas_->documents() / "13" / "new" / "deeper.pdf"},
        {"/tmp/download.part", areas_->temporary() / "download.part"},
        {"/Documents/12/../12/./0A1B.pdf", areas_->documents() / "12" / "0A1B.pdf"},
        {"/Documents/12", areas_->documents() / "12"},  // an item directory
        // ".." may also lead from one area into another.
        {"/tmp/../Library/Caches/cover.png", areas_->caches() / "cover.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(StoredPath::resolveInsideAreas(c.stored), canonical(c.expected));
    }
}

TEST_F(StoredPathTest, RefusesPlacesOutsideTheAreasAndTheAreaRoots) {
    fs::create_directory_symlink(outside_, areas_->documents() / "linked-out");
    fs::create_symlink(outside_ / "victim.txt", areas_->documents() / "12" / "victim-link");
    fs::create_symlink(areas_->documents(), areas_->temporary() / "root-link");
    const struct {
        const char* stored;
        const char* why;
    } cases[] = {
        {"", "empty"},
        {"/etc/passwd", "absolute path elsewhere"},
        {"/Library/Caches/cover.png", "no area folder in the text: stays at the root"},
        {"12/0A1B.pdf", "relative text without an area folder"},
        {"/Documents/../../outside/victim.txt", "escape through .."},
        {"/Documents/../../x", "escape through .."},
        {"/Documents/12/../../../outside/victim.txt", "escape through .. further down"},
        {"/Documents/..", "the data directory"},
        {"/Documents", "area root"},
        {"/Documents/", "area root with separator"},
        {"/Documents/.", "area root with ."},
        {"/Documents/12/..", "area root through .."},
        {"/tmp", "temporary root"},
        {"/tmp/../Library/Caches", "caches root"},
        {"/Documents/linked-out/victim.txt", "symbolic-link folder leading out"},
        {"/Documents/12/victim-link", "symbolic link to a file outside"},
        {"/tmp/root-link", "symbolic link to an area root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(StoredPath::resolveInsideAreas(c.stored), std::nullopt) << c.stored;
        EXPECT_FALSE(StoredPath::removeStoredFile(c.stored));
    }
    EXPECT_TRUE(fs::exists(outside_ / "victim.txt"));
    EXPECT_TRUE(fs::is_directory(areas_->documents()));
    EXPECT_TRUE(fs::is_directory(areas_->temporary()));
    EXPECT_TRUE(fs::is_directory(areas_->caches()));
    EXPECT_TRUE(log_->contains("Refusing to remove /etc/passwd"));
}

TEST_F(StoredPathTest, RemovesAStoredFileQuietly) {
    EXPECT_TRUE(StoredPath::removeStoredFile("/Documents/12/0A1B.pdf"));
    EXPECT_FALSE(fs::exists(file_));
    EXPECT_TRUE(fs::is_directory(areas_->documents() / "12"));
    EXPECT_TRUE(log_->messages().empty());
}

TEST_F(StoredPathTest, MissingFilesAndEmptyPathsAreSkippedSilently) {
    EXPECT_FALSE(StoredPath::removeStoredFile(""));
    EXPECT_FALSE(StoredPath::removeStoredFile("/Documents/12/never-downloaded.pdf"));
    EXPECT_FALSE(StoredPath::removeStoredFile("/Documents/99/no-item-directory.pdf"));
    EXPECT_FALSE(StoredPath::removeStoredFile("/Documents/12/0A1B.pdf/below-a-file"));
    EXPECT_TRUE(fs::exists(file_));
    EXPECT_TRUE(log_->messages().empty());
}

TEST_F(StoredPathTest, ALinkInsideIsRemovedAndItsTargetKept) {
    fs::create_symlink(file_, areas_->temporary() / "link.pdf");
    EXPECT_EQ(StoredPath::resolveInsideAreas("/tmp/link.pdf"),
              canonical(areas_->temporary()) / "link.pdf");
    EXPECT_TRUE(StoredPath::removeStoredFile("/tmp/link.pdf"));
    EXPECT_FALSE(fs::is_symlink(areas_->temporary() / "link.pdf"));
    EXPECT_TRUE(fs::exists(file_));
}

TEST_F(StoredPathTest, AFailingRemovalIsLoggedAndNotReported) {
    // A directory with something in it cannot be removed as a file.
    ASSERT_TRUE(FileSystem::createDirectories(areas_->documents() / "12" / "full").ok());
    ASSERT_TRUE(
        FileSystem::writeFileAtomically(areas_->documents() / "12" / "full" / "x", "x").ok());
    const fs::path place = canonical(areas_->documents() / "12" / "full");

    EXPECT_FALSE(StoredPath::removeStoredFile("/Documents/12/full"));
    EXPECT_TRUE(log_->contains(fmt::format("Error[{}]: ", ENOTEMPTY)));
    EXPECT_FALSE(log_->contains("error on file"));

    EXPECT_FALSE(
        StoredPath::removeStoredFile("/Documents/12/full", StoredPath::FailureLog::kFileAndError));
    const auto messages = log_->messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2].message, "error on file: " + place.string());
    EXPECT_TRUE(messages.back().message.starts_with(fmt::format("Error[{}]: ", ENOTEMPTY)));
    EXPECT_TRUE(fs::exists(place / "x"));
}

TEST_F(StoredPathTest, ExplicitAreasAreUsedInsteadOfTheSharedOnes) {
    TemporaryDirectory other;
    const FileAreas otherAreas(other.path() / "data");
    ASSERT_TRUE(otherAreas.createAll().ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(otherAreas.temporary() / "a.part", "x").ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(areas_->temporary() / "a.part", "x").ok());

    EXPECT_TRUE(StoredPath::removeStoredFile("/tmp/a.part", otherAreas));
    EXPECT_FALSE(fs::exists(otherAreas.temporary() / "a.part"));
    EXPECT_TRUE(fs::exists(areas_->temporary() / "a.part"));
}

}  // namespace
}  // namespace pagewell
