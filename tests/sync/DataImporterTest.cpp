// The category list and locale list imports: creation, links, placeholders, sortings, both
// deletion forms, and that a failed answer leaves the store as it was.

#include <gtest/gtest.h>

#include "store/FileCategory.h"
#include "sync/ImporterFixture.h"

namespace pagewell {
namespace {

class CategoryImportTest : public ImporterFixture {
  protected:
    Json category(const char* id, const char* title, Json children = Json::array(),
                  Json parents = Json::array()) {
        return Json{{"id", id},
                    {"title", title},
                    {"time_modified", "2024-01-02 10:00:00"},
                    {"child_ids", children},
                    {"parent_ids", parents}};
    }
    bool linked(std::int64_t parent, std::int64_t child) {
        return scalar(
                   "SELECT COUNT(*) FROM FileCategory_subcategories WHERE parent = ? AND "
                   "child = ?",
                   categoryKey(parent), categoryKey(child)) == 1;
    }
};

TEST_F(CategoryImportTest, FullListMakesCategoriesLinksAndSortingsWithoutPlaceholders) {
    Json answer{
        {"items", {category("10", "Brochures", {"11", 99}), category("11", "Pumps", {}, {"10"})}},
        {"sortings",
         {{{"id", "5"},
           {"category_id", "11"},
           {"parent_category_id", "10"},
           {"locale_id", "1"},
           {"position", "3"}}}},
        {"timestamp", "7"}};
    ASSERT_TRUE(importer_->importCategoriesWithJSON(answer, "1").ok());

    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory"), 2);
    EXPECT_TRUE(linked(10, 11));
    // 99 was named as a child but never described: no nameless record stays.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE name IS NULL"), 0);
    EXPECT_EQ(scalar("SELECT position FROM CategorySorting WHERE cmsID = 5"), 3);
    EXPECT_EQ(scalar("SELECT category FROM CategorySorting WHERE cmsID = 5"), categoryKey(11));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory_users WHERE user = ?", userKey_), 2);
    EXPECT_TRUE(log_->contains(DataImporter::kImportFinishedMessage));
}

TEST_F(CategoryImportTest, FullListDeletesTheUsersCategoriesItNoLongerNames) {
    ASSERT_TRUE(importer_
                    ->importCategoriesWithJSON(
                        Json{{"items", {category("10", "A"), category("11", "B")}}}, "1")
                    .ok());
    std::int64_t otherLocale = insertRow("INSERT INTO Locale (cmsID) VALUES (2)");
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (11, ?, 'B2')", otherLocale);

    ASSERT_TRUE(
        importer_->importCategoriesWithJSON(Json{{"items", {category("10", "A")}}}, "1").ok());
    EXPECT_EQ(categoryKey(11), -1);
    EXPECT_NE(categoryKey(10), -1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE locale = ?", otherLocale), 1);
}

TEST_F(CategoryImportTest, ChangeListDeletesAndDetachesOnlyWhatItNames) {
    ASSERT_TRUE(
        importer_
            ->importCategoriesWithJSON(
                Json{{"items", {category("10", "A"), category("11", "B"), category("12", "C")}}},
                "1")
            .ok());
    timestamps_->saveTimestampForCategoryList("5");

    Json changes{{"items", Json::array()}, {"delete", {"10"}}, {"removed", {11}}};
    ASSERT_TRUE(importer_->importCategoriesWithJSON(changes, "1").ok());
    EXPECT_EQ(categoryKey(10), -1);
    EXPECT_NE(categoryKey(11), -1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory_users WHERE category = ?", categoryKey(11)),
              0);
    EXPECT_NE(categoryKey(12), -1);
}

TEST_F(CategoryImportTest, WithoutAKnownTimestampADeleteListStillCountsAsAFullAnswer) {
    ASSERT_TRUE(importer_
                    ->importCategoriesWithJSON(
                        Json{{"items", {category("10", "A"), category("11", "B")}}}, "1")
                    .ok());
    ASSERT_TRUE(importer_
                    ->importCategoriesWithJSON(
                        Json{{"items", {category("10", "A")}}, {"delete", Json::array()}}, "1")
                    .ok());
    EXPECT_EQ(categoryKey(11), -1);
}

TEST_F(CategoryImportTest, UnknownLocaleFailsWithItsLogLineAndChangesNothing) {
    auto before = snapshot();
    Status imported =
        importer_->importCategoriesWithJSON(Json{{"items", {category("10", "A")}}}, "42");
    ASSERT_FALSE(imported.ok());
    EXPECT_EQ(imported.error().description,
              "Something went wrong... Locale with ID '42' does not exist");
    EXPECT_TRUE(log_->contains("Locale with ID '42' does not exist"));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CategoryImportTest, AStoreFailureHalfWayRollsTheWholeAnswerBack) {
    ASSERT_TRUE(
        importer_->importCategoriesWithJSON(Json{{"items", {category("10", "Old")}}}, "1").ok());
    refuseInsert("FileCategory", 666);
    auto before = snapshot();
    Status imported = importer_->importCategoriesWithJSON(
        Json{{"items", {category("10", "New"), category("11", "B"), category("666", "X")}}}, "1");
    EXPECT_FALSE(imported.ok());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CategoryImportTest, SelfAndMutualChildrenDoNotLoop) {
    Json answer{{"items",
                 {category("10", "Self", {"10"}, {"10"}), category("11", "A", {"12"}, {"12"}),
                  category("12", "B", {"11"}, {"11"})}}};
    ASSERT_TRUE(importer_->importCategoriesWithJSON(answer, "1").ok());
    EXPECT_FALSE(linked(10, 10));
    EXPECT_TRUE(log_->contains("Category 10 cannot be its own child or parent"));
    EXPECT_TRUE(linked(11, 12));
    EXPECT_TRUE(linked(12, 11));
    // A second import over the cycle and the deletions that follow end as well.
    ASSERT_TRUE(importer_->importCategoriesWithJSON(Json{{"items", Json::array()}}, "1").ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory"), 0);
}

TEST_F(CategoryImportTest, DeleteCategoriesInAllLocalesOrInOne) {
    std::int64_t otherLocale = insertRow("INSERT INTO Locale (cmsID) VALUES (2)");
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (10, ?, 'A')", localeKey_);
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (10, ?, 'A2')", otherLocale);
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (11, ?, 'B')", localeKey_);
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (11, ?, 'B2')", otherLocale);

    ASSERT_TRUE(importer_->deleteCategoriesWithIDs({11}, "2").ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE cmsID = 11"), 1);
    ASSERT_TRUE(importer_->deleteCategoriesWithIDs({10}).ok());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE cmsID = 10"), 0);

    // The signed-in user's categories of the language: not another user's category 12.
    insertRow("INSERT INTO FileCategory_users (category, user) SELECT pk, ? FROM FileCategory",
              userKey_);
    insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (12, ?, 'C')", localeKey_);
    auto ids = importer_->categoryIDsOfLocale("1");
    ASSERT_TRUE(ids.ok());
    EXPECT_EQ(ids.value(), std::vector<std::int64_t>{11});
}

class LocaleImportTest : public ImporterFixture {};

TEST_F(LocaleImportTest, ListReplacesTheLocalesAndAddsTheUser) {
    insertRow("INSERT INTO Locale (cmsID, title) VALUES (3, 'Gone')");
    Json answer{{"items",
                 {{{"id", "1"},
                   {"title", "English"},
                   {"iso_full", "English"},
                   {"iso5", "en_GB"},
                   {"iso2", "en"}},
                  {{"id", "2"}, {"title", "Deutsch"}, {"iso5", "de_DE"}, {"iso2", "de"}}}}};
    ASSERT_TRUE(importer_->importLocalesWithJSON(answer).ok());
    // A language nobody holds stays as a record; it is simply nobody's choice.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Locale WHERE cmsID IN (1, 2)"), 2);
    EXPECT_EQ(scalar("SELECT pk FROM Locale WHERE cmsID = 1"), localeKey_);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Locale WHERE iso2 = 'de' AND title = 'Deutsch'"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Locale_users WHERE user = ?", userKey_), 2);
}

TEST_F(LocaleImportTest, ListWithoutItemsFailsAndKeepsTheLocales) {
    auto before = snapshot();
    EXPECT_FALSE(importer_->importLocalesWithJSON(Json{{"locales", Json::array()}}).ok());
    EXPECT_TRUE(log_->contains(DataImporter::kMissingLocaleItemsMessage));
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
}  // namespace pagewell
