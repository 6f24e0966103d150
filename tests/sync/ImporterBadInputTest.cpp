// Answers of every wrong shape, fed to every import: each fails or skips with its log line,
// none crashes, and a failed answer leaves the store as it was.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sync/FileImporter.h"
#include "sync/ImporterFixture.h"
#include "sync/SideListImporter.h"

namespace pagewell {
namespace {

using Json = nlohmann::json;

enum class Entry {
    Categories,
    Files,
    Highlights,
    FilesWithoutCategory,
    Locales,
    Imprint,
    Beacons,
    Customers,
    CustomerGroups,
    QRCodes,
    FavoriteFolders,
    FavoriteRelations
};

struct BadInputCase {
    const char* name;
    Entry entry;
    std::function<Json()> answer;
    bool succeeds;
    const char* logLine;  // a text one of the log lines contains
};

Json nested(int depth) {
    Json value = "bottom";
    for (int i = 0; i < depth; ++i) {
        value = Json::array({std::move(value)});
    }
    return value;
}

Json category(Json id, Json title = "T") {
    return Json{{"id", std::move(id)}, {"title", std::move(title)}};
}

// A file entry with every key its import needs.
Json fileEntry(const char* id) {
    return Json{{"id", id},
                {"title", "Kept"},
                {"file_location", std::string("/media/files/") + id + ".pdf"},
                {"time_modified", "2024-01-01 00:00:00"}};
}

// The same entry without `key`, or with `key` set to `value`.
Json fileEntryWithout(const char* key) {
    Json entry = fileEntry("100");
    entry.erase(key);
    return entry;
}
Json fileEntryWith(const char* key, Json value) {
    Json entry = fileEntry("100");
    entry[key] = std::move(value);
    return entry;
}

const BadInputCase kCases[] = {
    {"CategoriesNotAnObject", Entry::Categories, [] { return Json::array({category("1")}); }, false,
     "Expected an dictionary! Was <array>"},
    {"CategoriesItemsAText", Entry::Categories,
     [] {
         return Json{{"items", "10"}};
     },
     false, "without an \"items\" array"},
    {"CategoriesItemsNull", Entry::Categories,
     [] {
         return Json{{"items", nullptr}};
     },
     false, "without an \"items\" array"},
    {"CategoriesSortingsNotAList", Entry::Categories,
     [] {
         return Json{{"items", {category("10")}}, {"sortings", {{"id", "1"}}}};
     },
     false, "\"sortings\" that is not an array"},
    {"CategoriesDeleteNull", Entry::Categories,
     [] {
         return Json{{"items", {category("10")}}, {"delete", nullptr}};
     },
     false, "\"delete\" that is not an array"},
    // A number where the item's text id is expected gives no identifier: skipped.
    {"CategoryIdAsNumber", Entry::Categories,
     [] {
         return Json{{"items", {category(10)}}};
     },
     true, "Skipping list item without text id"},
    {"CategoryNullEverywhere", Entry::Categories,
     [] {
         return Json{{"items", {{{"id", nullptr}, {"title", nullptr}, {"child_ids", nullptr}}}}};
     },
     true, "Skipping list item without text id"},
    {"CategoryHugeListOfJunk", Entry::Categories,
     [] {
         Json items = Json::array();
         for (int i = 0; i < 20000; ++i) {
             items.push_back(i);
         }
         return Json{{"items", items}};
     },
     true, "Skipping list item without text id"},
    {"CategoryDeepNesting", Entry::Categories,
     [] {
         return Json{{"items", {category("10", nested(5000))}}, {"x", nested(5000)}};
     },
     true, "import finished"},
    {"CategoryUnknownKeysAndOtherDates", Entry::Categories,
     [] {
         Json item = category("10");
         item["time_modified"] = "2024-01-02T10:00:00Z";
         item["colour"] = "blue";
         return Json{{"items", {item}}, {"extra", {{"a", 1}}}};
     },
     true, "import finished"},
    {"CategoryInvalidUtf8", Entry::Categories,
     [] {
         return Json{{"items", {category("10", "bad \xff\xfe text"), category("\xc3")}}};
     },
     true, "Skipping list item without text id"},
    {"CategoryOwnChild", Entry::Categories,
     [] {
         Json item = category("10");
         item["child_ids"] = {"10", 10};
         item["parent_ids"] = {"10"};
         return Json{{"items", {item}}};
     },
     true, "cannot be its own child or parent"},
    {"FilesNotAnObject", Entry::Files, [] { return Json("items"); }, false,
     FileImporter::kNoDictionaryMessage},
    {"FilesItemsAnObject", Entry::Files,
     [] {
         return Json{{"items", {{"id", "1"}}}};
     },
     false, FileImporter::kNoFilesMessage},
    {"FilesItemsNullHighlightsToo", Entry::Highlights,
     [] {
         return Json{{"items", nullptr}, {"highlights", Json::array()}};
     },
     false, FileImporter::kNoFilesMessage},
    {"FilesRemoveAText", Entry::Files,
     [] {
         return Json{{"items", Json::array()}, {"remove", "1"}};
     },
     false, "\"remove\" that is not an array"},
    // An entry without a text id cannot be imported: the whole answer is refused.
    {"FileIdAsNumberAndNullItems", Entry::Files,
     [] {
         return Json{{"items", {{{"id", 5}}, nullptr, "x"}}};
     },
     false, FileImporter::kInvalidPropertiesMessage},
    {"FileNullEverywhere", Entry::Files,
     [] {
         Json file = fileEntry("5");
         for (const char* key : {"file_size", "metatags", "readconfirmation", "position",
                                 "thumbnail_id", "annotation_ids", "beacons", "customergroups"}) {
             file[key] = nullptr;
         }
         return Json{{"items", {file}}, {"thumbnails", nullptr}, {"assets", nullptr}};
     },
     true, FileImporter::kMalformedAssetsMessage},
    // Without the keys its import needs, one entry makes the whole answer malformed: imported,
    // it would blank the record and take the downloaded copy with its address.
    {"FileWithoutId", Entry::Files,
     [] {
         return Json{{"items", {fileEntry("101"), fileEntryWithout("id")}}};
     },
     false, "File entry 1 of the answer has no \"id\""},
    {"FileWithoutTitle", Entry::Files,
     [] {
         return Json{{"items", {fileEntryWithout("title")}}};
     },
     false, "File entry 0 of the answer has no \"title\""},
    {"FileWithAnObjectForTitle", Entry::FilesWithoutCategory,
     [] {
         return Json{{"items", {fileEntryWith("title", {{"de", "x"}})}}};
     },
     false, "has no \"title\""},
    {"FileWithoutLocation", Entry::Files,
     [] {
         return Json{{"items", {fileEntryWithout("file_location")}}};
     },
     false, "has no \"file_location\""},
    {"HighlightWithAnEmptyLocation", Entry::Highlights,
     [] {
         return Json{{"highlights", {fileEntryWith("file_location", "")}}};
     },
     false, "has no \"file_location\""},
    {"FileWithoutModificationDate", Entry::Files,
     [] {
         return Json{{"items", {fileEntryWithout("time_modified")}}};
     },
     false, "has no \"time_modified\""},
    {"FileWithANullModificationDate", Entry::FilesWithoutCategory,
     [] {
         return Json{{"items", {fileEntryWith("time_modified", nullptr)}}};
     },
     false, "has no \"time_modified\""},
    {"FileWrongTypesAndOtherDates", Entry::FilesWithoutCategory,
     [] {
         Json file{{"id", "6"},
                   {"title", 6},
                   {"file_location", "/media/files/6.pdf"},
                   {"file_size", "big"},
                   {"time_modified", "03/01/2024"},
                   {"metatags", "a,b"},
                   {"thumbnail_id", "x"},
                   {"annotation_ids", 4},
                   {"beacons", "1"},
                   {"extra", nested(3000)}};
         return Json{{"items", {file}}, {"thumbnails", {{"id", 1}}}, {"assets", {1, 2}}};
     },
     true, "finished import of files"},
    {"LocalesItemsNotAList", Entry::Locales,
     [] {
         return Json{{"items", {{"id", "1"}}}};
     },
     false, "There should be locale items in json"},
    {"ImprintTextNull", Entry::Imprint,
     [] {
         return Json{{"id", "7"}, {"text", nullptr}};
     },
     false, "cmsID or text are missing"},
    {"ImprintNotAnObject", Entry::Imprint,
     [] {
         return Json::array({"7", "text"});
     },
     false, "cmsID or text are missing"},
    {"BeaconsWithoutItems", Entry::Beacons,
     [] {
         return Json{{"beacons", Json::array()}};
     },
     false, SideListImporter::kNoItemsMessage},
    {"BeaconWithoutUuidOrTextId", Entry::Beacons,
     [] {
         return Json{{"items", {{{"id", "1"}}, {{"id", 2}, {"uuid", "u"}}}}};
     },
     true, "Skipping Beacon item without"},
    {"FilesHugeListOfJunk", Entry::Files,
     [] {
         Json items = Json::array();
         for (int i = 0; i < 20000; ++i) {
             items.push_back(i % 2 == 0 ? Json(i) : Json{{"id", nullptr}});
         }
         return Json{{"items", items}};
     },
     false, FileImporter::kInvalidPropertiesMessage},
    // ID lists take texts and numbers; anything else in them is skipped.
    {"FilesChangeListsOfJunk", Entry::Files,
     [] {
         return Json{{"items", Json::array()},
                     {"remove", {Json::object(), true, nullptr, "abc", 1.5}},
                     {"delete", {Json::array(), false, "", "-", "\xff"}},
                     {"timestamp", 7}};
     },
     true, "finished import of files in category: 10"},
    {"FileInvalidUtf8AndDeepNesting", Entry::Files,
     [] {
         Json file{{"id", "7"},
                   {"title", "bad \xc3\x28 title"},
                   {"file_location", "/media/\xff.pdf"},
                   {"metatags", {"\xfe", 3, nullptr, nested(2000)}},
                   {"time_modified", "2024-13-45 99:99:99"}};
         return Json{{"items", {file, {{"id", "\xe2\x82"}}}}};
     },
     false, FileImporter::kInvalidPropertiesMessage},
    // The same file alone: bad texts and an impossible date still import.
    {"FileInvalidUtf8AndImpossibleDate", Entry::Files,
     [] {
         Json file{{"id", "7"},
                   {"title", "bad \xc3\x28 title"},
                   {"file_location", "/media/\xff.pdf"},
                   {"metatags", {"\xfe", 3, nullptr, nested(2000)}},
                   {"time_modified", "2024-13-45 99:99:99"}};
         return Json{{"items", {file}}};
     },
     true, "finished import of files in category: 10"},
    {"CustomersNotAnObject", Entry::Customers, [] { return Json(42); }, false,
     SideListImporter::kNoItemsMessage},
    {"CustomersNullEverywhere", Entry::Customers,
     [] {
         return Json{{"items",
                      {{{"id", nullptr}, {"lat", nullptr}, {"lng", nullptr}, {"name", nullptr}},
                       {{"id", "3"}, {"lat", nullptr}, {"lng", nullptr}, {"name", "\xff"}},
                       nullptr}}};
     },
     true, "Skipping CustomerLocation item without"},
    {"CustomerGroupsItemsAnObject", Entry::CustomerGroups,
     [] {
         return Json{{"items", {{"id", "1"}}}};
     },
     false, SideListImporter::kNoItemsMessage},
    // Customer ids are texts: numbers find nothing; a text of a missing customer is logged.
    {"CustomerGroupIdsOfEveryType", Entry::CustomerGroups,
     [] {
         return Json{{"items",
                      {{{"id", "5"},
                        {"name", "G"},
                        {"customer_ids", {4, "99", nullptr, Json::object(), "x"}},
                        {"unknown", nested(1000)}}}}};
     },
     true, "CRITICAL ERROR! Customer with id 99 should exist!"},
    {"QRCodesHugeListWithNumberIds", Entry::QRCodes,
     [] {
         Json items = Json::array();
         for (int i = 0; i < 20000; ++i) {
             items.push_back(Json{{"id", i}, {"url", "https://example.com"}});
         }
         return Json{{"items", items}};
     },
     true, "Skipping QRCode item without"},
    {"FavoriteFoldersItemsNull", Entry::FavoriteFolders,
     [] {
         return Json{{"items", nullptr}};
     },
     false, SideListImporter::kNoItemsMessage},
    {"FavoriteFolderWithoutName", Entry::FavoriteFolders,
     [] {
         return Json{{"items", {{{"id", "8"}, {"name", nullptr}}}}};
     },
     true, "Skipping FavoriteFolder item without"},
    {"FavoriteRelationsToNothing", Entry::FavoriteRelations,
     [] {
         return Json{{"items",
                      {{{"id", "1"}, {"folder_id", "77"}, {"file_id", "100"}},
                       {{"id", "2"}, {"folder_id", Json::array()}, {"file_id", nullptr}}}}};
     },
     true, "favorite folder with id '77' does not exist"},
};

class ImporterBadInputTest : public ImporterFixture,
                             public ::testing::WithParamInterface<BadInputCase> {
  protected:
    void SetUp() override {
        ImporterFixture::SetUp();
        // Something for a failed answer to leave alone.
        ASSERT_TRUE(
            importer_->importCategoriesWithJSON(Json{{"items", {category("10", "Kept")}}}, "1")
                .ok());
        ASSERT_TRUE(importer_->insertFilesWithJSON(Json{{"items", {fileEntry("100")}}}, 10).ok());
        // Category 10 was imported with a timestamp: its answers with "remove" are change
        // answers, whose "remove" and "delete" lists are read.
        timestamps_->saveTimestamp("5", "10");
    }

    Status run(Entry entry, const Json& answer) {
        switch (entry) {
            case Entry::Categories:
                return importer_->importCategoriesWithJSON(answer, "1");
            case Entry::Files:
                return importer_->insertFilesWithJSON(answer, 10);
            case Entry::Highlights:
                return importer_->insertFilesWithJSON(answer, -1);
            case Entry::FilesWithoutCategory:
                return importer_->importFilesWithJSON(answer);
            case Entry::Locales:
                return importer_->importLocalesWithJSON(answer);
            case Entry::Imprint:
                return importer_->importImprintWithJSON(answer);
            case Entry::Beacons:
                return importer_->importBeaconListWithJSON(answer);
            case Entry::Customers:
                return importer_->importCustomerListWithJSON(answer);
            case Entry::CustomerGroups:
                return importer_->importCustomerGroupListWithJSON(answer);
            case Entry::QRCodes:
                return importer_->importQRCodesListWithJSON(answer);
            case Entry::FavoriteFolders:
                return importer_->importFavoriteFoldersWithJSON(answer);
            case Entry::FavoriteRelations:
                return importer_->importFavoriteFoldersFileRelationsWithJSON(answer);
        }
        return Error::make("test", -1, "unknown entry");
    }
};

TEST_P(ImporterBadInputTest, FailsOrSkipsWithItsLogLineAndKeepsTheStoreOnFailure) {
    const BadInputCase& c = GetParam();
    Json answer = c.answer();
    auto before = snapshot();
    Status imported = run(c.entry, answer);
    EXPECT_EQ(imported.ok(), c.succeeds) << (imported.ok() ? "" : imported.error().description);
    EXPECT_TRUE(log_->contains(c.logLine)) << "missing log line: " << c.logLine;
    if (!c.succeeds) {
        EXPECT_EQ(snapshot(), before);
    }
    // The store still answers, and the kept category is still there unless the answer was a
    // full category list without it.
    EXPECT_GE(scalar("SELECT COUNT(*) FROM FileCategory"), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, ImporterBadInputTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ImporterFixture, ImprintReplacesTheLocalesImprintAndKeepsItOnA404) {
    ASSERT_TRUE(importer_->importImprintWithJSON(Json{{"id", "7"}, {"text", "Old"}}).ok());
    ASSERT_TRUE(importer_->importImprintWithJSON(Json{{"id", "8"}, {"text", "New"}}).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Imprint"), 1);
    EXPECT_EQ(scalar("SELECT cmsID FROM Imprint WHERE text = 'New' AND locale = ?", localeKey_), 8);
    Status refused = importer_->importImprintWithJSON(Json{{"id", "9"}, {"text", nullptr}});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), Error::make("VX", -404, "cmsID or text are missing"));
    EXPECT_TRUE(log_->contains("Error[-404]: cmsID or text are missing"));
    EXPECT_EQ(scalar("SELECT cmsID FROM Imprint"), 8);
}

}  // namespace
}  // namespace pagewell
