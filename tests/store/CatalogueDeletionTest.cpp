// What removing a file for one user, for everybody, or deleting file and category records
// does on disk and in the store.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileState.h"
#include "store/SideEntityTestSupport.h"
#include "store/User.h"

namespace pagewell {
namespace {

class RecordingTimestamps final : public CategoryTimestamps {
  public:
    void deleteTimestampForCategoryWithID(const std::string& categoryID) override {
        std::lock_guard lock(mutex_);
        forgotten_.push_back(categoryID);
    }
    std::vector<std::string> forgotten() {
        std::lock_guard lock(mutex_);
        return forgotten_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> forgotten_;  // guarded by mutex_
};

class CatalogueDeletionTest : public SideEntityTest {
  protected:
    void SetUp() override {
        SideEntityTest::SetUp();
        StoreHooks::setCategoryTimestamps(timestamps_);
        bobKey_ = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 2, "bob");
    }

    // A downloaded file held by alice and bob, with one downloaded resource.
    File downloadedFileOfTwoUsers(std::int64_t cmsID) {
        auto made = File::fileWithId(main(), cmsID, localeKey_);
        EXPECT_TRUE(made.ok() && made.value());
        File file = *made.value();
        file.filePath = writeStoredFile(std::to_string(cmsID) + "/content.pdf", "%PDF");
        file.downloaded = true;
        file.updateAvailable = true;
        EXPECT_TRUE(file.update(main()).ok());
        for (std::int64_t user : {userKey_, bobKey_}) {
            EXPECT_TRUE(file.addUser(main(), user).ok());
            EXPECT_TRUE(file.addFileStateForUser(main(), user).ok());
        }
        resourcePath_ = writeStoredFile(std::to_string(cmsID) + "/clip.mp4", "movie");
        insertRow("INSERT INTO Resource (path, size, downloaded, file) VALUES (?, ?, ?, ?)",
                  resourcePath_, 5, 1, file.pk);
        EXPECT_TRUE(main().save().ok());
        return file;
    }

    File reload(const File& file) {
        auto stored = File::find(main(), file.pk);
        EXPECT_TRUE(stored.ok() && stored.value());
        return stored.ok() && stored.value() ? *stored.value() : File{};
    }

    std::shared_ptr<RecordingTimestamps> timestamps_ = std::make_shared<RecordingTimestamps>();
    std::int64_t bobKey_ = 0;
    std::string resourcePath_;
};

TEST_F(CatalogueDeletionTest, TheCopyStaysUntilTheLastUserRemovesTheFile) {
    File file = downloadedFileOfTwoUsers(7);
    const std::string copy = *file.filePath;
    std::vector<File::DeletionEvent> events;
    NotificationCenter::shared().addObserver(
        File::kFileDeletionEvent, [&](const Notification& notification) {
            ASSERT_TRUE(notification.userInfoAs<File::DeletionEvent>());
            events.push_back(*notification.userInfoAs<File::DeletionEvent>());
        });

    // Alice removes it: hidden for her, still downloaded for bob.
    ASSERT_TRUE(file.deleteFile(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_TRUE(exists(copy));
    EXPECT_TRUE(exists(resourcePath_));
    File afterAlice = reload(file);
    EXPECT_TRUE(afterAlice.downloaded);
    EXPECT_EQ(afterAlice.filePath, copy);
    EXPECT_TRUE(afterAlice.fileStateForUser(main(), userKey_).value()->pretendDeletion);
    EXPECT_FALSE(afterAlice.fileStateForUser(main(), bobKey_).value()->pretendDeletion);
    EXPECT_EQ(annotations_->removed(), std::vector<std::string>{"7_alice"});

    // Bob removes it too: the copy, the resource's copy and the path go.
    CurrentSelection::setUser(bobKey_, "bob");
    ASSERT_TRUE(afterAlice.deleteFile(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_FALSE(exists(copy));
    EXPECT_FALSE(exists(resourcePath_));
    File afterBob = reload(file);
    EXPECT_FALSE(afterBob.downloaded);
    EXPECT_FALSE(afterBob.updateAvailable);
    EXPECT_FALSE(afterBob.filePath);
    EXPECT_EQ(scalar("SELECT count(*) FROM Resource WHERE file = ?", file.pk), 1);  // kept
    EXPECT_EQ(annotations_->removed(), (std::vector<std::string>{"7_alice", "7_bob"}));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].pk, file.pk);
    EXPECT_EQ(events[1].cmsID, 7);
}

TEST_F(CatalogueDeletionTest, RemovingAFileDeletesItsBasketItemsAndKeepsTheRecord) {
    File file = downloadedFileOfTwoUsers(7);
    insertRow("INSERT INTO ShareFile (customTitle, file, user) VALUES (?, ?, ?)", "x", file.pk,
              userKey_);
    ASSERT_TRUE(file.deleteFile(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareFile"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 1);
}

TEST_F(CatalogueDeletionTest, DeleteForAllUsersShowsTheFileAsNotDownloadedToEverybody) {
    File file = downloadedFileOfTwoUsers(7);
    const std::string copy = *file.filePath;
    ASSERT_TRUE(file.deleteFile(main()).ok());  // alice hid it
    ASSERT_TRUE(main().save().ok());

    File current = reload(file);
    ASSERT_TRUE(current.deleteForAllUsers().ok());  // saves the main context itself
    EXPECT_FALSE(main().inWrite());
    EXPECT_FALSE(exists(copy));
    File after = reload(file);
    EXPECT_FALSE(after.downloaded);
    EXPECT_FALSE(after.updateAvailable);
    EXPECT_EQ(
        scalar("SELECT count(*) FROM FileState WHERE file = ? AND pretendDeletion = 0", file.pk),
        2);
}

TEST_F(CatalogueDeletionTest, AStoredPathOutsideTheDataAreaIsNeverFollowed) {
    TemporaryDirectory elsewhere;
    const std::filesystem::path victim = elsewhere.path() / "victim.pdf";
    ASSERT_TRUE(FileSystem::writeFileAtomically(victim, "keep me").ok());
    const std::filesystem::path documents = areas_->documents();
    const std::string escapes[] = {
        victim.string(),
        "/Documents/../../../" + std::filesystem::relative(victim, documents).string(),
        (documents / ".." / ".." / std::filesystem::relative(victim, documents.parent_path()))
            .string(),
    };
    std::int64_t id = 100;
    for (const std::string& path : escapes) {
        SCOPED_TRACE(path);
        auto made = File::fileWithId(main(), ++id, localeKey_);
        ASSERT_TRUE(made.ok() && made.value());
        File file = *made.value();
        file.filePath = path;
        file.downloaded = true;
        ASSERT_TRUE(file.update(main()).ok());
        ASSERT_TRUE(file.deleteFile(main()).ok());  // nobody else keeps it
        ASSERT_TRUE(file.deleteRecord(main()).ok());
        ASSERT_TRUE(main().save().ok());
        EXPECT_TRUE(std::filesystem::exists(victim));
    }
}

TEST_F(CatalogueDeletionTest, DeletingACategoryDeletesOnlyTheFilesThatBelongedToItAlone) {
    auto doomed = FileCategory::fileCategoryWithID(main(), 30);
    auto other = FileCategory::fileCategoryWithID(main(), 31);
    ASSERT_TRUE(doomed.ok() && doomed.value() && other.ok() && other.value());
    File onlyHere = downloadedFileOfTwoUsers(7);
    const std::string onlyHereCopy = *onlyHere.filePath;
    const std::string onlyHereResource = resourcePath_;
    File shared = downloadedFileOfTwoUsers(8);
    ASSERT_TRUE(onlyHere.addCategory(main(), doomed.value()->pk).ok());
    ASSERT_TRUE(shared.addCategory(main(), doomed.value()->pk).ok());
    ASSERT_TRUE(shared.addCategory(main(), other.value()->pk).ok());
    ASSERT_TRUE(main().save().ok());

    ASSERT_TRUE(doomed.value()->deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());

    EXPECT_EQ(timestamps_->forgotten(), std::vector<std::string>{"30"});
    EXPECT_EQ(scalar("SELECT count(*) FROM File WHERE pk = ?", onlyHere.pk), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileState WHERE file = ?", onlyHere.pk), 0);
    EXPECT_FALSE(exists(onlyHereCopy));
    EXPECT_FALSE(exists(onlyHereResource));
    EXPECT_EQ(scalar("SELECT count(*) FROM FileCategory WHERE pk = ?", doomed.value()->pk), 0);

    File kept = reload(shared);
    EXPECT_TRUE(kept.downloaded);
    EXPECT_TRUE(exists(*kept.filePath));
    EXPECT_EQ(kept.categoryKeys(main()).value(), std::vector<std::int64_t>{other.value()->pk});
}

}  // namespace
}  // namespace pagewell
