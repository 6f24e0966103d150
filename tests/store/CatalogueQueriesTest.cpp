// The catalogue's named queries, each against a fixture holding records that must match and
// records that must not (the reason written beside each), plus the category tree operations
// and the size rules that read thumbnails and resources from the store.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileState.h"
#include "store/ServerDate.h"
#include "store/StoreFixture.h"

namespace pagewell {
namespace {

using Keys = std::vector<std::int64_t>;

template <class T>
Keys keysOf(const Result<std::vector<T>>& rows) {
    EXPECT_TRUE(rows.ok());
    Keys keys;
    if (rows.ok()) {
        for (const T& row : rows.value()) {
            keys.push_back(row.pk);
        }
    }
    return keys;
}

class CatalogueQueriesTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        bobKey_ = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 2, "bob");
        germanKey_ = insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 2, "Deutsch");
    }

    // A file row with the given flags, in the locales and of the users given.
    std::int64_t file(const char* title, const Keys& locales, const Keys& users,
                      const char* flags = "") {
        std::int64_t pk =
            insertRow("INSERT INTO File (cmsID, title) VALUES (?, ?)", ++nextId_, title);
        for (std::int64_t locale : locales) {
            insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", pk, locale);
        }
        for (std::int64_t user : users) {
            insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", pk, user);
        }
        if (*flags) {
            EXPECT_TRUE(main()
                            .database()
                            .run(std::string("UPDATE File SET ") + flags + " WHERE pk = ?", pk)
                            .ok());
        }
        return pk;
    }
    std::int64_t category(std::int64_t cmsID, std::int64_t locale, const Keys& users,
                          const char* name = nullptr) {
        std::int64_t pk =
            insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (?, ?, ?)", cmsID,
                      locale, name ? std::optional<std::string>(name) : std::nullopt);
        for (std::int64_t user : users) {
            insertRow("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)", pk, user);
        }
        return pk;
    }
    std::int64_t state(std::int64_t fileKey, std::int64_t user, bool pretendDeletion) {
        return insertRow("INSERT INTO FileState (file, user, pretendDeletion) VALUES (?, ?, ?)",
                         fileKey, user, pretendDeletion);
    }
    void link(std::int64_t parent, std::int64_t child) {
        insertRow("INSERT INTO FileCategory_subcategories (parent, child) VALUES (?, ?)", parent,
                  child);
    }
    FileCategory load(std::int64_t pk) { return *FileCategory::find(main(), pk).value(); }

    std::int64_t bobKey_ = 0;
    std::int64_t germanKey_ = 0;
    std::int64_t nextId_ = 0;
};

TEST_F(CatalogueQueriesTest, HighlightFilesOfTheCurrentUserAndLocale) {
    const Keys me{userKey_};
    std::int64_t match = file("match", {localeKey_}, me, "highlight = 1");
    file("not a highlight", {localeKey_}, me, "highlight = 0");
    file("other locale only", {germanKey_}, me, "highlight = 1");
    file("another user's", {localeKey_}, {bobKey_}, "highlight = 1");
    EXPECT_EQ(keysOf(File::highlightFiles(main())), Keys{match});
}

TEST_F(CatalogueQueriesTest, FilesToDownloadAndUnsentConfirmations) {
    const Keys me{userKey_};
    std::int64_t missing = file("not downloaded", {localeKey_}, me, "downloaded = 0");
    std::int64_t absent = file("downloaded never set", {localeKey_}, me);
    std::int64_t update = file("update", {localeKey_}, me, "downloaded = 1, updateAvailable = 1");
    file("up to date", {localeKey_}, me, "downloaded = 1, updateAvailable = 0");
    file("another user's", {localeKey_}, {bobKey_}, "downloaded = 0");
    EXPECT_EQ(keysOf(File::filesToDownload(main())), (Keys{missing, absent, update}));

    std::int64_t unsent = file("unsent", {}, me,
                               "needsReadConfirmation = 1, didSendReadConfirmation = 0, "
                               "confirmationDate = 1700000000");
    file("sent", {}, me,
         "needsReadConfirmation = 1, didSendReadConfirmation = 1, confirmationDate = 1700000000");
    file("not confirmed yet", {}, me, "needsReadConfirmation = 1, didSendReadConfirmation = 0");
    file("no confirmation needed", {}, me,
         "needsReadConfirmation = 0, didSendReadConfirmation = 0, confirmationDate = 1700000000");
    EXPECT_EQ(keysOf(File::filesWithUnsentConfirmation(main())), Keys{unsent});
}

TEST_F(CatalogueQueriesTest, FileStatesLiveAndPendingDownloadOrDeletion) {
    std::int64_t downloaded = file("downloaded", {localeKey_}, {}, "downloaded = 1");
    std::int64_t notDownloaded = file("not downloaded", {localeKey_}, {}, "downloaded = 0");
    std::int64_t german = file("german", {germanKey_}, {}, "downloaded = 0");

    std::int64_t hidden = state(downloaded, userKey_, true);  // removed by alice
    std::int64_t live = state(downloaded, bobKey_, false);    // bob keeps it, up to date
    std::int64_t toFetch = state(notDownloaded, userKey_, false);
    state(german, userKey_, false);        // other locale
    state(notDownloaded, bobKey_, false);  // other user

    EXPECT_EQ(keysOf(FileState::liveStatesOfFile(main(), downloaded)), Keys{live});
    EXPECT_EQ(keysOf(FileState::statesPendingDownloadOrDeletion(main())), (Keys{hidden, toFetch}));
}

TEST_F(CatalogueQueriesTest, RootCategoriesAndSubcategoriesByName) {
    const Keys me{userKey_};
    std::int64_t root = category(1, localeKey_, me, "Root");
    std::int64_t zebra = category(2, localeKey_, me, "Zebra");
    std::int64_t apple = category(3, localeKey_, me, "Apple");
    std::int64_t hisOnly = category(4, localeKey_, {bobKey_}, "Bob's");
    std::int64_t germanChild = category(5, germanKey_, me, "Deutsch");
    category(6, germanKey_, me, "German root");      // other locale
    category(7, localeKey_, {bobKey_}, "His root");  // other user
    for (std::int64_t child : {zebra, apple, hisOnly, germanChild}) {
        link(root, child);
    }
    EXPECT_EQ(keysOf(FileCategory::rootCategories(main())), Keys{root});
    EXPECT_EQ(keysOf(load(root).subcategoriesSortedByName(main())), (Keys{apple, zebra}));
}

TEST_F(CatalogueQueriesTest, FilesOfACategoryByTitle) {
    const Keys me{userKey_};
    std::int64_t cat = category(1, localeKey_, me);
    std::int64_t other = category(2, localeKey_, me);
    std::int64_t b = file("B", {localeKey_}, me);
    std::int64_t a = file("A", {localeKey_}, me);
    std::int64_t foreign = file("C other locale", {germanKey_}, me);
    std::int64_t his = file("D other user", {localeKey_}, {bobKey_});
    std::int64_t elsewhere = file("E other category", {localeKey_}, me);
    for (std::int64_t f : {a, b, foreign, his}) {
        insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", f, cat);
    }
    insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", elsewhere, other);
    EXPECT_EQ(keysOf(File::filesOfCategory(main(), cat)), (Keys{a, b}));
}

TEST_F(CatalogueQueriesTest, SubcategoriesFollowTheServerListWithinTheLocale) {
    const Keys me{userKey_};
    std::int64_t parent = category(1, localeKey_, me);
    std::int64_t dropped = category(2, localeKey_, me);
    std::int64_t kept = category(3, localeKey_, me);
    std::int64_t germanChild = category(2, germanKey_, me);  // other locale: untouched
    for (std::int64_t child : {dropped, kept, germanChild}) {
        link(parent, child);
    }
    FileCategory node = load(parent);
    ASSERT_TRUE(
        node.setSubcategoriesWithIDArray(main(), nlohmann::json::parse(R"([3, "4"])"), localeKey_)
            .ok());
    ASSERT_TRUE(main().save().ok());
    auto created = FileCategory::findWithID(main(), 4, localeKey_);
    ASSERT_TRUE(created.ok() && created.value());
    EXPECT_EQ(node.subcategoryKeys(main()).value(), (Keys{kept, germanChild, created.value()->pk}));
    EXPECT_EQ(created.value()->userKeys(main()).value(), me);

    // A list that is not a list, or no locale: nothing happens.
    ASSERT_TRUE(node.setSubcategoriesWithIDArray(main(), nlohmann::json(), localeKey_).ok());
    ASSERT_TRUE(node.setSubcategoriesWithIDArray(main(), Keys{}, std::nullopt).ok());
    EXPECT_EQ(node.subcategoryKeys(main()).value().size(), 3u);

    // Parents, the other way round: the child gets exactly the listed parent of the locale.
    FileCategory child = load(kept);
    ASSERT_TRUE(child.setParentcategoriesWithIDArray(main(), Keys{9}, localeKey_).ok());
    ASSERT_TRUE(main().save().ok());
    auto newParent = FileCategory::findWithID(main(), 9, localeKey_);
    ASSERT_TRUE(newParent.ok() && newParent.value());
    EXPECT_EQ(child.supercategoryKeys(main()).value(), Keys{newParent.value()->pk});
}

TEST_F(CatalogueQueriesTest, CategoryPropertiesComeFromTheServerDictionary) {
    FileCategory node = load(category(1, localeKey_, {}));
    node.setProperties(
        nlohmann::json::parse(R"({"title": "Brochures", "time_modified": "2023-05-01 10:20:30"})"));
    EXPECT_EQ(node.name, "Brochures");
    EXPECT_EQ(node.modified, ServerDate::parse(std::string_view("2023-05-01 10:20:30")));
    node.setProperties(nlohmann::json::parse(R"({"title": null, "time_modified": ""})"));
    EXPECT_FALSE(node.name);
    EXPECT_FALSE(node.modified);
}

TEST_F(CatalogueQueriesTest, SizesCountTheThumbnailShareAndTheResources) {
    std::int64_t thumb = insertRow("INSERT INTO Thumbnail (size) VALUES (?)", 100'000);
    std::int64_t pk = file("sized", {}, {}, "size = 1000000, downloaded = 0");
    ASSERT_TRUE(
        main().database().run("UPDATE File SET thumbnail = ? WHERE pk = ?", thumb, pk).ok());
    File f = *File::find(main(), pk).value();
    EXPECT_EQ(f.usedDiskSpace(main()).value(), 1'003'814);
    EXPECT_EQ(f.completeFileSize(main()).value(), 1'003'814u);

    insertRow("INSERT INTO Resource (size, file) VALUES (?, ?)", 10, pk);
    insertRow("INSERT INTO Resource (size, file) VALUES (?, ?)", 20, pk);
    EXPECT_EQ(f.usedDiskSpace(main()).value(), 1'003'844);
    std::int64_t cat = category(1, localeKey_, {});
    insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", pk, cat);
    std::int64_t done = file("downloaded", {}, {}, "size = 5, downloaded = 1");
    insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", done, cat);
    EXPECT_EQ(load(cat).usedDiskSpace(main()).value(), 1'003'844);

    f.downloaded = true;
    EXPECT_EQ(f.usedDiskSpace(main()).value(), 0);
    EXPECT_EQ(f.completeFileSize(main()).value(), 1'003'844u);
}

}  // namespace
}  // namespace pagewell
