// The side lists: each is a full list that replaces the records of its kind, links only to
// records that exist, and skips items it cannot use with a log line.

#include <gtest/gtest.h>

#include "sync/ImporterFixture.h"
#include "sync/SideListImporter.h"

namespace pagewell {
namespace {

class SideListImportTest : public ImporterFixture {};

TEST_F(SideListImportTest, BeaconsAreUpperCasedWithEmptyNumbersAsNoneAndReplaceTheList) {
    insertRow("INSERT INTO Beacon (cmsID, uuid) VALUES (9, 'OLD')");
    Json answer{{"items",
                 {{{"id", "1"}, {"uuid", "ab-cd"}, {"major", "7"}, {"minor", ""}, {"name", "Hall"}},
                  {{"id", "2"}, {"uuid", "ef"}, {"major", 3}, {"minor", "4"}}}}};
    ASSERT_TRUE(importer_->importBeaconListWithJSON(answer).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Beacon"), 2);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Beacon WHERE cmsID = 1 AND uuid = 'AB-CD' AND major = 7 "
                     "AND minor IS NULL AND name = 'Hall'"),
              1);
    EXPECT_EQ(scalar("SELECT minor FROM Beacon WHERE cmsID = 2"), 4);
}

TEST_F(SideListImportTest, CustomerGroupsLinkExistingCustomersAndLogMissingOnes) {
    ASSERT_TRUE(
        importer_
            ->importCustomerListWithJSON(Json{
                {"items", {{{"id", "1"}, {"lat", "48.1"}, {"lng", "11.5"}, {"name", "Shop"}}}}})
            .ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CustomerLocation WHERE latitude = '48.1' AND "
                     "longitude = '11.5'"),
              1);
    EXPECT_TRUE(log_->contains("imported customer with id: 1"));

    ASSERT_TRUE(
        importer_
            ->importCustomerGroupListWithJSON(
                Json{{"items", {{{"id", "5"}, {"name", "South"}, {"customer_ids", {"1", "2"}}}}}})
            .ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CustomerLocation_groups"), 1);
    EXPECT_TRUE(log_->contains("CRITICAL ERROR! Customer with id 2 should exist!"));

    ASSERT_TRUE(importer_->importCustomerListWithJSON(Json{{"items", Json::array()}}).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CustomerLocation"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM CustomerLocation_groups"), 0);
}

TEST_F(SideListImportTest, QRCodesKeepTheUrlAsText) {
    insertRow("INSERT INTO QRCode (cmsID, name) VALUES (8, 'Gone')");
    ASSERT_TRUE(importer_
                    ->importQRCodesListWithJSON(
                        Json{{"items", {{{"id", "3"}, {"url", "https://x/y"}, {"name", "Q"}}}}})
                    .ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM QRCode"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM QRCode WHERE cmsID = 3 AND text = 'https://x/y'"), 1);
}

TEST_F(SideListImportTest, FavouriteFoldersAndRelationsMarkTheUsersFavourites) {
    ASSERT_TRUE(
        importer_->importCategoriesWithJSON(Json{{"items", {{{"id", "10"}, {"title", "A"}}}}}, "1")
            .ok());
    ASSERT_TRUE(importer_
                    ->insertFilesWithJSON(Json{{"items",
                                                {{{"id", "100"},
                                                  {"title", "Guide"},
                                                  {"file_location", "/media/files/100.pdf"},
                                                  {"time_modified", "2024-01-01 00:00:00"}}}}},
                                          10)
                    .ok());
    Json folders{{"items", {{{"id", "1"}, {"name", "Mine"}}, {{"id", "2"}}}}};
    ASSERT_TRUE(importer_->importFavoriteFoldersWithJSON(folders).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FavoriteFolder WHERE cmsID = 1 AND title = 'Mine' AND "
                     "synced = 1 AND user = ? AND locale = ?",
                     userKey_, localeKey_),
              1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FavoriteFolder"), 1);

    Json relations{{"items",
                    {{{"id", "40"}, {"folder_id", "1"}, {"file_id", "100"}},
                     {{"id", "41"}, {"folder_id", "9"}, {"file_id", "100"}},
                     {{"id", "42"}, {"folder_id", "1"}, {"file_id", "999"}}}}};
    ASSERT_TRUE(importer_->importFavoriteFoldersFileRelationsWithJSON(relations).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FavoriteFolderRelation WHERE cmsID = 40 AND synced = 1"),
              1);
    EXPECT_EQ(scalar("SELECT favorite FROM FileState WHERE user = ?", userKey_), 1);
    EXPECT_TRUE(log_->contains("favorite folder with id '9' does not exist"));
    EXPECT_TRUE(log_->contains("file with id '999' does not exist"));

    ASSERT_TRUE(
        importer_->importFavoriteFoldersFileRelationsWithJSON(Json{{"items", Json::array()}}).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FavoriteFolderRelation"), 0);
}

}  // namespace
}  // namespace pagewell
