// The file list import: files in several categories, both removal forms, the unchanged-file
// rule, what a changed file keeps (its copy) and offers (the update), thumbnails, resources,
// highlights, proximity links, and lists without category.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HttpDate.h"
#include "platform/JsonDecoder.h"
#include "store/FileCategory.h"
#include "store/SideEntityTestSupport.h"
#include "store/StoredPath.h"
#include "sync/FileImporter.h"
#include "sync/ImporterFixture.h"

namespace pagewell {
namespace {

class FileImportTest : public ImporterFixture {
  protected:
    void SetUp() override {
        ImporterFixture::SetUp();
        Json categories{
            {"items", {{{"id", "10"}, {"title", "A"}}, {{"id", "11"}, {"title", "B"}}}}};
        ASSERT_TRUE(importer_->importCategoriesWithJSON(categories, "1").ok());
    }

    static Json file(const char* id, const char* modified = "2024-01-03 09:00:00",
                     const char* location = "/media/files/1/a.pdf") {
        return Json{{"id", id},
                    {"title", std::string("File ") + id},
                    {"file_location", location},
                    {"file_mime_type", "application/pdf"},
                    {"file_size", "1234"},
                    {"time_modified", modified},
                    {"metatags", {"pumps", "valves"}},
                    {"readconfirmation", 1},
                    {"position", 4},
                    {"thumbnail_id", 70},
                    {"annotation_ids", {500}}};
    }
    static Json list(Json items) {
        return Json{{"items", std::move(items)},
                    {"thumbnails",
                     {{{"id", 70},
                       {"file_location", "/media/thumbs/1/a.png"},
                       {"file_size", 50},
                       {"file_modified", "2024-01-03 09:00:00"}}}},
                    {"assets",
                     {{{"id", 900},
                       {"annotation_id", 500},
                       {"url", "/media/assets/900/clip.mp4"},
                       {"type", 3},
                       {"biggest_file_size", 10},
                       {"annotation_position", 0}},
                      {{"id", 901}, {"annotation_id", 501}, {"url", "/media/assets/901/x.jpg"}}}},
                    {"annotations", {{{"asset_ids", {900}}, {"page", 2}}}}};
    }
    std::int64_t inCategory(std::int64_t fileID, std::int64_t categoryID) {
        return scalar("SELECT COUNT(*) FROM File_categories WHERE file = ? AND category = ?",
                      fileKey(fileID), categoryKey(categoryID));
    }
    // Gives the file a downloaded copy, a thumbnail image and a resource copy on disk (in that
    // order) and returns their stored paths.
    std::vector<std::string> giveLocalCopies(std::int64_t fileID) {
        std::vector<std::string> paths;
        for (const char* name : {"copy.pdf", "thumb.png", "clip.mp4"}) {
            std::filesystem::path absolute = areas_->documents() / std::to_string(fileID) / name;
            std::filesystem::create_directories(absolute.parent_path());
            EXPECT_TRUE(FileSystem::writeFileAtomically(absolute, name).ok());
            paths.push_back(StoredPath::getRelativePath(absolute.string(), *areas_));
        }
        Database& db = main().database();
        EXPECT_TRUE(
            db.run("UPDATE File SET filePath = ?, downloaded = 1 WHERE cmsID = ?", paths[0], fileID)
                .ok());
        EXPECT_TRUE(db.run("UPDATE Thumbnail SET filePath = ? WHERE pk = "
                           "(SELECT thumbnail FROM File WHERE cmsID = ?)",
                           paths[1], fileID)
                        .ok());
        EXPECT_TRUE(db.run("UPDATE Resource SET path = ?, downloaded = 1 WHERE file = "
                           "(SELECT pk FROM File WHERE cmsID = ?)",
                           paths[2], fileID)
                        .ok());
        return paths;
    }
    File storedFile(std::int64_t cmsID) {
        auto found = File::findWithCmsID(main(), cmsID);
        EXPECT_TRUE(found.ok() && found.value());
        return found.ok() && found.value() ? *found.value() : File{};
    }
    bool onDisk(const std::string& stored) const {
        return std::filesystem::exists(StoredPath::getAbsolutePath(stored, *areas_));
    }
    std::int64_t addSecondUser(std::int64_t fileID) {
        std::int64_t bob = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
        insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", fileKey(fileID), bob);
        insertRow("INSERT INTO FileState (file, user, read, pretendDeletion) VALUES (?, ?, 0, 0)",
                  fileKey(fileID), bob);
        return bob;
    }
};

TEST_F(FileImportTest, AFileInTwoCategoriesIsOneRecordWithBoth) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 11).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File"), 1);
    EXPECT_EQ(inCategory(100, 10), 1);
    EXPECT_EQ(inCategory(100, 11), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileSorting WHERE fileID = 100"), 2);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileState WHERE file = ?", fileKey(100)), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_locales WHERE file = ?", fileKey(100)), 1);
    EXPECT_EQ(scalar("SELECT size FROM File WHERE cmsID = 100"), 1234);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE metatags = 'pumps,valves' AND "
                     "needsReadConfirmation = 1"),
              1);
    EXPECT_EQ(scalar("SELECT position FROM FileSorting WHERE fileID = 100 AND categoryID = 10"), 4);
}

TEST_F(FileImportTest, FullAnswerDetachesAndDeletesWhenOneUserHoldsTheFile) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100"), file("101")}), 10).ok());
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("101")}), 10).ok());
    EXPECT_EQ(fileKey(100), -1);
    EXPECT_EQ(inCategory(101, 10), 1);
}

// The answer speaks for alice alone: bob keeps the file, and it stays in the category they
// share, where bob's own answer finds it once the server removes it for him too.
TEST_F(FileImportTest, FullAnswerOnlyRemovesTheFileForTheUserWhenTwoHoldIt) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    const std::int64_t bob = addSecondUser(100);
    ASSERT_TRUE(importer_->insertFilesWithJSON(list(Json::array()), 10).ok());
    ASSERT_NE(fileKey(100), -1);
    EXPECT_EQ(inCategory(100, 10), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_users WHERE file = ? AND user = ?", fileKey(100),
                     userKey_),
              0);
    EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ? AND user = ?",
                     fileKey(100), userKey_),
              1);
    EXPECT_EQ(scalar("SELECT removedByServer FROM FileState WHERE file = ? AND user = ?",
                     fileKey(100), userKey_),
              1);

    // Bob's own full answer no longer names it either: bob held it alone, so it goes.
    CurrentSelection::setUser(bob, "bob");
    ASSERT_TRUE(importer_->insertFilesWithJSON(list(Json::array()), 10).ok());
    EXPECT_EQ(fileKey(100), -1);
}

// Whichever of a file's two categories drops it first, the file goes only when the second one
// drops it too, and then only when nobody else holds it.
TEST_F(FileImportTest, AFileLeavesTheStoreOnlyWhenItsLastListDropsIt) {
    for (const bool twoUsers : {false, true}) {
        for (const auto& [first, second] : {std::pair{10, 11}, std::pair{11, 10}}) {
            SCOPED_TRACE(std::to_string(first) + (twoUsers ? " first, two users" : " first"));
            ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
            ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 11).ok());
            std::int64_t bob = 0;
            if (twoUsers) {
                bob = addSecondUser(100);
            }
            ASSERT_TRUE(importer_->insertFilesWithJSON(list(Json::array()), first).ok());
            ASSERT_NE(fileKey(100), -1);
            EXPECT_EQ(inCategory(100, second), 1);
            EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ? AND user = ?",
                             fileKey(100), userKey_),
                      0);

            ASSERT_TRUE(importer_->insertFilesWithJSON(list(Json::array()), second).ok());
            if (!twoUsers) {
                EXPECT_EQ(fileKey(100), -1);
                continue;
            }
            ASSERT_NE(fileKey(100), -1) << "bob still holds the file";
            EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_users WHERE file = ?", fileKey(100)), 1);
            EXPECT_EQ(scalar("SELECT pretendDeletion FROM FileState WHERE file = ? AND user = ?",
                             fileKey(100), bob),
                      0);
            // A clean start for the next round.
            ASSERT_TRUE(main().database().run("DELETE FROM File").ok());
            ASSERT_TRUE(main().database().run("DELETE FROM User WHERE pk = ?", bob).ok());
        }
    }
}

// A file deleted on the server goes for the user whose answer names it: deleted when nobody
// else holds it, else the user leaves it with a state marked removed by the server (which no
// download undoes) while the other user keeps theirs. Listed again, it is the user's again.
TEST_F(FileImportTest, ChangeAnswerDeletesOrRemovesForTheUserByTheNumberOfUsers) {
    ASSERT_TRUE(
        importer_->insertFilesWithJSON(list({file("100"), file("101"), file("102")}), 10).ok());
    const std::int64_t bob = addSecondUser(100);
    timestamps_->saveTimestamp("9", "10");
    Json changes = list(Json::array());
    changes["remove"] = {"102"};
    changes["delete"] = {"100", 101};
    ASSERT_TRUE(importer_->insertFilesWithJSON(changes, 10).ok());
    ASSERT_NE(fileKey(100), -1);
    auto state = [&](const char* column, std::int64_t user) {
        const std::string sql =
            std::string("SELECT ") + column + " FROM FileState WHERE file = ? AND user = ?";
        return scalar(sql.c_str(), fileKey(100), user);
    };
    EXPECT_EQ(state("pretendDeletion", userKey_), 1);
    EXPECT_EQ(state("removedByServer", userKey_), 1);
    EXPECT_EQ(state("pretendDeletion", bob), 0);
    EXPECT_EQ(state("removedByServer", bob), 0);
    EXPECT_EQ(scalar("SELECT user FROM File_users WHERE file = ?", fileKey(100)), bob);
    EXPECT_EQ(inCategory(100, 10), 1);
    EXPECT_EQ(fileKey(101), -1);
    EXPECT_EQ(inCategory(102, 10), 0);
    EXPECT_NE(fileKey(102), -1);

    // The server lists it for the user again: back in the user's catalogue, hidden as the
    // user's own removal until a download.
    timestamps_->resetAllTimestampsForCurrentUser();
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100"), file("102")}), 10).ok());
    EXPECT_EQ(state("removedByServer", userKey_), 0);
    EXPECT_EQ(state("pretendDeletion", userKey_), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_users WHERE file = ?", fileKey(100)), 2);
}

TEST_F(FileImportTest, UnchangedFileKeepsItsPropertiesButFollowsPositionAndHighlight) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    Json again = file("100");
    again["title"] = "Renamed";
    again["position"] = 9;
    again["is_highlight"] = true;
    again["thumbnail_id"] = 71;
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({again}), 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE title = 'File 100'"), 1);
    EXPECT_EQ(scalar("SELECT highlight FROM File WHERE cmsID = 100"), 1);
    EXPECT_EQ(scalar("SELECT position FROM FileSorting WHERE fileID = 100"), 9);
    EXPECT_EQ(scalar("SELECT cmsID FROM Thumbnail"), 70);
}

TEST_F(FileImportTest, AChangedFileKeepsItsCopyAndOffersTheUpdate) {
    struct Case {
        const char* id;
        const char* location;  // at the change
        bool downloaded;
        bool validators;  // the copy came with an ETag and a Last-Modified
        // After the change: the validators kept (the download asks whether the copy is still
        // current) or dropped (the download fetches the new address whole).
        bool keepsValidators;
    };
    const std::vector<Case> cases = {
        {"100", "/media/files/1/a.pdf", true, true, true},
        {"101", "/media/files/1/b.pdf", true, true, false},
        // A document-system proxy address is fetched whole even when it stays the same.
        {"102", "/connectors/sharepoint/proxy/file/1/a.pdf", true, true, false},
        {"103", "/media/files/1/a.pdf", true, false, true},
        {"104", "/media/files/1/a.pdf", false, false, false},
    };
    Json before = Json::array();
    Json after = Json::array();
    for (const auto& c : cases) {
        const char* first = std::string_view(c.location).find("sharepoint") == std::string::npos
                                ? "/media/files/1/a.pdf"
                                : c.location;
        before.push_back(file(c.id, "2024-01-03 09:00:00", first));
        after.push_back(file(c.id, "2024-02-01 09:00:00", c.location));
    }
    ASSERT_TRUE(importer_->insertFilesWithJSON(list(before), 10).ok());
    std::map<std::string, std::vector<std::string>> copies;
    for (const auto& c : cases) {
        if (c.downloaded) {
            copies[c.id] = giveLocalCopies(std::stoll(c.id));
        }
        if (c.validators) {
            ASSERT_TRUE(main()
                            .database()
                            .run("UPDATE File SET contentETag = '\"e1\"', contentLastModified = "
                                 "'Mon, 01 Jan 2024 08:00:00 GMT' WHERE cmsID = ?",
                                 static_cast<std::int64_t>(std::stoll(c.id)))
                            .ok());
        }
    }
    ASSERT_TRUE(main().database().exec("UPDATE FileState SET read = 1").ok());
    const File unchanged = storedFile(103);

    ASSERT_TRUE(importer_->insertFilesWithJSON(list(after), 10).ok());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const File changed = storedFile(std::stoll(c.id));
        EXPECT_EQ(scalar("SELECT read FROM FileState WHERE file = ?", changed.pk), 0);
        EXPECT_EQ(changed.fileURL, c.location);
        // The copy stays openable until a newer one has arrived.
        EXPECT_EQ(changed.downloaded, c.downloaded);
        EXPECT_EQ(changed.updateAvailable, c.downloaded);
        if (c.downloaded) {
            // The copy and its image stay; the resources follow the answer (they are replaced).
            EXPECT_EQ(changed.filePath, copies[c.id][0]);
            EXPECT_TRUE(onDisk(copies[c.id][0]));
            EXPECT_TRUE(onDisk(copies[c.id][1]));
        }
        if (!c.keepsValidators) {
            EXPECT_FALSE(changed.contentETag);
            EXPECT_FALSE(changed.contentLastModified);
        } else if (c.validators) {
            EXPECT_EQ(changed.contentETag, "\"e1\"");
            EXPECT_EQ(changed.contentLastModified, "Mon, 01 Jan 2024 08:00:00 GMT");
        } else {
            // Without the server's validators the copy is known by the date it had.
            ASSERT_TRUE(unchanged.modified);
            EXPECT_FALSE(changed.contentETag);
            EXPECT_EQ(changed.contentLastModified, HttpDate::format(*unchanged.modified));
        }
    }
}

TEST_F(FileImportTest, ThumbnailAndResourcesFollowTheAnswer) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Thumbnail WHERE cmsID = 70 AND size = 50 AND "
                     "fileURL = '/media/thumbs/1/a.png'"),
              1);
    EXPECT_EQ(scalar("SELECT thumbnail FROM File WHERE cmsID = 100"),
              scalar("SELECT pk FROM Thumbnail WHERE cmsID = 70"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Resource"), 1);
    EXPECT_EQ(scalar("SELECT cmsID FROM Resource"), 900);
    EXPECT_EQ(scalar("SELECT pdfPage FROM Resource"), 2);

    // A changed file whose thumbnail is not in the answer and whose assets are malformed.
    Json changed = list({file("100", "2024-02-01 09:00:00")});
    changed["items"][0]["thumbnail_id"] = 99;
    changed["assets"] = "none";
    ASSERT_TRUE(importer_->insertFilesWithJSON(changed, 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Thumbnail WHERE cmsID = 0 AND size = 0 AND "
                     "fileURL IS NULL"),
              1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Resource"), 0);
    EXPECT_TRUE(log_->contains(FileImporter::kMalformedAssetsMessage));
}

// The request layer hands long file lists over packed (JsonDecoder): they import as their text,
// and each file finds its own thumbnail, the first one of a repeated id.
TEST_F(FileImportTest, PackedAnswersImportAsTheirText) {
    Json answer = list({file("100"), file("101"), file("102")});
    answer["items"][2]["thumbnail_id"] = "71";
    answer["thumbnails"].push_back(
        {{"id", 71}, {"file_location", "/media/thumbs/2/b.png"}, {"file_size", 60}});
    answer["thumbnails"].push_back(
        {{"id", 70}, {"file_location", "/media/thumbs/9/late.png"}, {"file_size", 1}});
    auto packed = [](const Json& text) {
        JsonDecoder::Options options;
        options.packedLists = {"items", "highlights", "thumbnails"};
        JsonDecoder::Decoded decoded = JsonDecoder::decode(text.dump(), options);
        EXPECT_EQ(decoded.outcome, JsonDecoder::Outcome::Decoded);
        return decoded.value;
    };
    const Json packedAnswer = packed(answer);
    ASSERT_TRUE(packedAnswer["items"][0].is_binary());

    ASSERT_TRUE(importer_->insertFilesWithJSON(packedAnswer, 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE title LIKE 'File 10_' AND "
                     "fileURL = '/media/files/1/a.pdf' AND size = 1234"),
              3);
    EXPECT_EQ(inCategory(102, 10), 1);
    for (auto [fileID, thumbnailURL] :
         {std::pair{100, "/media/thumbs/1/a.png"}, std::pair{101, "/media/thumbs/1/a.png"},
          std::pair{102, "/media/thumbs/2/b.png"}}) {
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM File f JOIN Thumbnail t ON f.thumbnail = t.pk "
                         "WHERE f.cmsID = ? AND t.fileURL = ?",
                         fileID, thumbnailURL),
                  1)
            << fileID;
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Resource WHERE cmsID = 900"), 3);

    // The highlight list and a list without category read packed entries the same way.
    Json highlight = file("101");
    highlight["is_highlight"] = 1;
    ASSERT_TRUE(importer_->insertFilesWithJSON(packed(Json{{"highlights", {highlight}}}), -1).ok());
    EXPECT_EQ(scalar("SELECT highlight FROM File WHERE cmsID = 101"), 1);
    ASSERT_TRUE(importer_->importFilesWithJSON(packed(list({file("103")}))).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE cmsID = 103 AND title = 'File 103'"), 1);
    // A packed entry without a title refuses the answer as a plain one does.
    Json untitled = list({file("104")});
    untitled["items"][0].erase("title");
    EXPECT_FALSE(importer_->insertFilesWithJSON(packed(untitled), 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE cmsID = 104"), 0);
}

TEST_F(FileImportTest, HighlightListSetsAndClearsTheFlag) {
    Json first = file("100");
    first["is_highlight"] = "1";
    Json second = file("101");
    second["is_highlight"] = true;
    ASSERT_TRUE(importer_->insertFilesWithJSON(Json{{"highlights", {first, second}}}, -1).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File WHERE highlight = 1"), 2);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileSorting WHERE categoryID IS NULL"), 2);

    // Still in a category of the user, so the file stays when it leaves the highlights.
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({first}), 10).ok());
    ASSERT_TRUE(importer_->insertFilesWithJSON(Json{{"highlights", {second}}}, -1).ok());
    EXPECT_EQ(scalar("SELECT highlight FROM File WHERE cmsID = 100"), 0);
    EXPECT_EQ(scalar("SELECT highlight FROM File WHERE cmsID = 101"), 1);
}

TEST_F(FileImportTest, UnknownCategoryFailsAndChangesNothing) {
    auto before = snapshot();
    Status imported = importer_->insertFilesWithJSON(list({file("100")}), 77);
    ASSERT_FALSE(imported.ok());
    EXPECT_TRUE(log_->contains("No Category with ID 77 found.."));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(FileImportTest, AStoreFailureHalfWayRollsTheWholeAnswerBack) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    refuseInsert("File", 666);
    auto before = snapshot();
    EXPECT_FALSE(importer_->insertFilesWithJSON(list({file("101"), file("666")}), 10).ok());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(FileImportTest, FilesOnDiskGoOnlyWhenTheImportThatDroppedTheirRecordsCommits) {
    auto annotations = std::make_shared<RecordingAnnotationSets>();
    StoreHooks::setAnnotationSets(annotations);
    ASSERT_TRUE(
        importer_->insertFilesWithJSON(list({file("100"), file("101"), file("102")}), 10).ok());
    const std::vector<std::string> dropped = giveLocalCopies(100);
    const std::vector<std::string> moved = giveLocalCopies(101);
    // A full answer without 100 and 102 (one user each: both records go) that moves 101 to a
    // new address (its copy and image stay until the new copy arrives; its resources are
    // replaced, their copies discarded). The store refuses to delete 102, after 100's record
    // is already gone inside the transaction.
    const Json answer = list({file("101", "2024-02-01 09:00:00", "/media/files/1/r2/a.pdf")});
    ASSERT_TRUE(main()
                    .database()
                    .exec("CREATE TRIGGER keep_102 BEFORE DELETE ON File WHEN OLD.cmsID = 102 "
                          "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END")
                    .ok());
    auto before = snapshot();
    ASSERT_FALSE(importer_->insertFilesWithJSON(answer, 10).ok());
    EXPECT_EQ(snapshot(), before);
    for (const auto& paths : {dropped, moved}) {
        for (const std::string& path : paths) {
            EXPECT_TRUE(onDisk(path)) << path << " went with a rolled-back import";
        }
    }
    EXPECT_TRUE(annotations->removed().empty());

    ASSERT_TRUE(main().database().exec("DROP TRIGGER keep_102").ok());
    ASSERT_TRUE(importer_->insertFilesWithJSON(answer, 10).ok());
    EXPECT_EQ(fileKey(100), -1);
    EXPECT_EQ(fileKey(102), -1);
    for (const std::string& path : {dropped[0], dropped[1], dropped[2], moved[2]}) {
        EXPECT_FALSE(onDisk(path)) << path << " stayed after the import committed";
    }
    EXPECT_TRUE(onDisk(moved[0]));
    EXPECT_TRUE(onDisk(moved[1]));
    // The dropped files' thumbnails went with them; the moved file keeps its record and image.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Thumbnail"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Thumbnail WHERE filePath IS NOT NULL AND pk = "
                     "(SELECT thumbnail FROM File WHERE cmsID = 101)"),
              1);
    auto removed = annotations->removed();
    for (const char* identifier : {"100_alice", "102_alice"}) {
        EXPECT_NE(std::find(removed.begin(), removed.end(), identifier), removed.end())
            << identifier;
    }
    // The moved file's annotations belong to its user, not to the copy: they stay.
    EXPECT_EQ(std::find(removed.begin(), removed.end(), "101_alice"), removed.end());
}

TEST_F(FileImportTest, ProximityLinksReadBothGroupKeysAndSkipUnknownEntries) {
    insertRow("INSERT INTO Beacon (cmsID, uuid) VALUES (1, 'U')");
    insertRow("INSERT INTO CustomerLocationGroup (cmsID, name) VALUES (3, 'G')");
    insertRow("INSERT INTO QRCode (cmsID, name) VALUES (4, 'Q')");
    Json linked = file("100");
    linked["beacons"] = {"1", "2"};
    linked["customerGroups"] = {"3"};
    linked["qrcodes"] = {4};  // a number finds no record
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({linked}), 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_beacons"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_customerGroups"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_qrcodes"), 0);

    linked["beacons"] = Json::array();
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({linked}), 10).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_beacons"), 0);
    ASSERT_TRUE(importer_->removeFilesOfProximityEntry(ProximityKind::CustomerGroup, 3).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_customerGroups"), 0);
}

TEST_F(FileImportTest, ListWithoutCategoryImportsAndRemovesNothing) {
    ASSERT_TRUE(importer_->insertFilesWithJSON(list({file("100")}), 10).ok());
    ASSERT_TRUE(importer_->importFilesWithJSON(list({file("200")})).ok());
    EXPECT_NE(fileKey(100), -1);
    EXPECT_NE(fileKey(200), -1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_categories WHERE file = ?", fileKey(200)), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Resource WHERE file = ?", fileKey(200)), 1);
    EXPECT_TRUE(log_->contains(FileImporter::kFinishedPlainMessage));
}

TEST_F(FileImportTest, ConcurrentImportsOfOverlappingListsMakeEachRecordOnce) {
    // Four background imports at once, as the sync runs them, with the same files in both
    // categories and a category list import in between.
    Json files = Json::array();
    for (int id = 100; id < 140; ++id) {
        files.push_back(file(std::to_string(id).c_str()));
    }
    std::vector<Status> results(5);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            results[i] = importer_->insertFilesWithJSON(list(files), i % 2 == 0 ? 10 : 11);
        });
    }
    threads.emplace_back([&] {
        results[4] = importer_->importCategoriesWithJSON(
            Json{{"items", {{{"id", "10"}, {"title", "A"}}, {{"id", "11"}, {"title", "B"}}}}}, "1");
    });
    for (auto& thread : threads) {
        thread.join();
    }
    for (const Status& result : results) {
        EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().description);
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File"), 40);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_categories"), 80);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileState"), 40);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileSorting"), 80);
}

}  // namespace
}  // namespace pagewell
