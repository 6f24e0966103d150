#include <gtest/gtest.h>

#include <regex>

#include "store/Bookmark.h"
#include "store/ShareFile.h"
#include "store/ShareLink.h"
#include "store/SideEntityTestSupport.h"

namespace pagewell {
namespace {

class ShareFileTest : public SideEntityTest {
  protected:
    void SetUp() override {
        SideEntityTest::SetUp();
        file_ = insertFile(12, "Brochure");
        insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", file_, localeKey_);
        insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", file_, userKey_);
    }
    std::int64_t file_ = 0;
};

TEST_F(ShareFileTest, CreationTakesTheFileTitleTheSignedInUserAndNow) {
    auto created = ShareFile::createShareFileWithFile(main(), file_, std::vector<int>{3, 1, 4},
                                                      std::string("/tmp/export.pdf"));
    ASSERT_TRUE(created.ok()) << created.error().description;
    ASSERT_TRUE(main().save().ok());

    auto stored = ShareFile::find(main(), created.value().pk).value();
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->customTitle, "Brochure");
    EXPECT_EQ(stored->userKey, userKey_);
    EXPECT_EQ(stored->fileKey, file_);
    EXPECT_EQ(stored->date, clock_->now());
    EXPECT_EQ(stored->localPath, "/tmp/export.pdf");
    EXPECT_EQ(stored->exportPages, (std::vector<int>{3, 1, 4}));
    EXPECT_FALSE(stored->sharedViaLink());
    EXPECT_FALSE(stored->pretendDeletion);

    auto whole = ShareFile::createShareFileWithFile(main(), file_, std::nullopt, std::nullopt);
    ASSERT_TRUE(whole.ok());
    auto wholeStored = ShareFile::find(main(), whole.value().pk).value();
    EXPECT_TRUE(wholeStored->sharedViaLink());
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareFile WHERE exportPages IS NULL"), 1);

    EXPECT_FALSE(ShareFile::createShareFileWithFile(main(), 9999, std::nullopt, std::nullopt).ok());
    EXPECT_EQ(ShareFile::shareFilesOfFile(main(), file_).value().size(), 2u);
}

TEST_F(ShareFileTest, DeletionRemovesTheExportTheAnnotationSetAndTheLinksReminders) {
    std::string exportPath = writeStoredFile("12/export.pdf", "%PDF-1.4");
    auto item = ShareFile::createShareFileWithFile(main(), file_, std::vector<int>{1}, exportPath);
    ASSERT_TRUE(item.ok());
    item.value().redliningSalt = "S4LT";
    ASSERT_TRUE(item.value().update(main()).ok());
    ASSERT_TRUE(Bookmark::bookmarkForShareFile(main(), item.value().pk, "Prices", 2).ok());
    ASSERT_TRUE(main().save().ok());
    auto first = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
    auto second = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
    ASSERT_TRUE(first.ok() && second.ok());

    EXPECT_EQ(item.value().getUserRedliningId(main()).value(), "S4LT_12_alice");
    ASSERT_TRUE(item.value().deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());

    EXPECT_FALSE(exists(exportPath));
    EXPECT_EQ(annotations_->removed(), std::vector<std::string>{"S4LT_12_alice"});
    auto withdrawn = reminders_->withdrawn();
    std::sort(withdrawn.begin(), withdrawn.end());
    std::vector<std::string> expected{*first.value().uuid, *second.value().uuid};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(withdrawn, expected);
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareFile"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareLink"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM Bookmark"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 1);
}

TEST_F(ShareFileTest, ShouldDeleteHidesTheItemAndSavesAtOnce) {
    auto item = ShareFile::createShareFileWithFile(main(), file_, std::nullopt, std::nullopt);
    ASSERT_TRUE(item.ok());
    ASSERT_TRUE(main().save().ok());
    ASSERT_TRUE(item.value().shouldDelete(main()).ok());
    EXPECT_FALSE(main().inWrite());
    auto other = store_->newPrivateContext();
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(scalar(*other.value(), "SELECT pretendDeletion FROM ShareFile WHERE pk = ?",
                     item.value().pk),
              1);
    EXPECT_TRUE(ShareFile::basketItems(main(), userKey_, localeKey_).value().empty());
}

TEST_F(ShareFileTest, BasketItemsAreTheUsersVisibleItemsOfFilesInTheLocale) {
    std::int64_t bob = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
    std::int64_t german = insertRow("INSERT INTO Locale (cmsID, title) VALUES (2, 'Deutsch')");
    std::int64_t germanFile = insertFile(13, "Preisliste");
    insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", germanFile, german);

    auto make = [&](std::int64_t file, std::int64_t user, bool hidden) {
        ShareFile item;
        item.fileKey = file;
        item.userKey = user;
        item.pretendDeletion = hidden;
        EXPECT_TRUE(item.update(main()).ok());
        return item.pk;
    };
    std::int64_t visible = make(file_, userKey_, false);
    make(file_, bob, false);            // another user's basket
    make(germanFile, userKey_, false);  // a file not in the chosen locale
    make(file_, userKey_, true);        // removed from the basket
    ASSERT_TRUE(main().save().ok());

    auto items = ShareFile::basketItems(main(), userKey_, localeKey_);
    ASSERT_TRUE(items.ok());
    ASSERT_EQ(items.value().size(), 1u);
    EXPECT_EQ(items.value()[0].pk, visible);
}

TEST_F(ShareFileTest, ShareLinkCreationIsSavedWithAFreshUUIDAndNow) {
    auto item = ShareFile::createShareFileWithFile(main(), file_, std::nullopt, std::nullopt);
    ASSERT_TRUE(item.ok());
    auto link = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
    ASSERT_TRUE(link.ok());
    EXPECT_FALSE(main().inWrite());
    EXPECT_EQ(link.value().date, clock_->now());
    ASSERT_TRUE(link.value().uuid.has_value());
    EXPECT_TRUE(std::regex_match(
        *link.value().uuid,
        std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")));
    auto again = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
    EXPECT_NE(again.value().uuid, link.value().uuid);

    auto other = store_->newPrivateContext();
    ASSERT_TRUE(other.ok());
    auto seen = ShareLink::find(*other.value(), link.value().pk);
    ASSERT_TRUE(seen.ok());
    ASSERT_TRUE(seen.value().has_value());
    EXPECT_EQ(seen.value()->uuid, link.value().uuid);
    EXPECT_EQ(seen.value()->shareFileKey, item.value().pk);
    EXPECT_EQ(item.value().links(*other.value()).value().size(), 2u);
}

TEST_F(ShareFileTest, DeletingALinkWithdrawsItsReminder) {
    auto item = ShareFile::createShareFileWithFile(main(), file_, std::nullopt, std::nullopt);
    ASSERT_TRUE(item.ok());
    auto link = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
    ASSERT_TRUE(link.ok());
    std::string uuid = *link.value().uuid;
    ASSERT_TRUE(link.value().deleteRecord(main()).ok());
    ASSERT_TRUE(main().save().ok());
    EXPECT_EQ(reminders_->withdrawn(), std::vector<std::string>{uuid});
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareLink"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM ShareFile"), 1) << "the item stays";
}

TEST_F(ShareFileTest, LinksToRegisterAreUnsyncedLinksOfHeldFilesInTheLocale) {
    std::int64_t german = insertRow("INSERT INTO Locale (cmsID, title) VALUES (2, 'Deutsch')");
    std::int64_t germanFile = insertFile(13, "Preisliste");
    insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", germanFile, german);
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", germanFile, userKey_);
    std::int64_t notHeld = insertFile(14, "Not mine");
    insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", notHeld, localeKey_);

    auto linkFor = [&](std::int64_t file, bool synced) {
        auto item = ShareFile::createShareFileWithFile(main(), file, std::nullopt, std::nullopt);
        EXPECT_TRUE(item.ok());
        auto link = ShareLink::shareLinkWithShareFile(main(), item.value().pk);
        EXPECT_TRUE(link.ok());
        link.value().synced = synced;
        EXPECT_TRUE(link.value().update(main()).ok());
        EXPECT_TRUE(main().save().ok());
        return link.value().pk;
    };
    std::int64_t pending = linkFor(file_, false);
    linkFor(file_, true);        // already registered
    linkFor(germanFile, false);  // file not in the chosen locale
    linkFor(notHeld, false);     // file the user does not hold

    auto links = ShareLink::linksToRegister(main(), userKey_, localeKey_);
    ASSERT_TRUE(links.ok());
    ASSERT_EQ(links.value().size(), 1u);
    EXPECT_EQ(links.value()[0].pk, pending);
}

}  // namespace
}  // namespace pagewell
