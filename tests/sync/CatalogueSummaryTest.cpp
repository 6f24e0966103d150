// What a synchronisation changed and how much of the catalogue is here, read from a store built
// row by row: "alice" (the current user) sees the English categories 10 (root) and 11 (under
// 10) and the files 100 (in 10, a highlight) and 101 (in 11); "bob" has category 12 and file
// 102 of his own, and file 103 is German only.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "store/File.h"
#include "store/StoreFixture.h"
#include "sync/CatalogueCounts.h"
#include "sync/CatalogueSnapshot.h"

namespace pagewell {
namespace {

class CatalogueSummaryTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        bob = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 2, "bob");
        german = insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 2, "Deutsch");
        c10 = category(10, "Brochures", userKey_);
        c11 = category(11, "Pumps", userKey_);
        category(12, "Bob's", bob);
        insertRow("INSERT INTO FileCategory_subcategories (parent, child) VALUES (?, ?)", c10, c11);
        f100 = file(100, "Pump guide", localeKey_, userKey_, c10, 1000);
        insertRow("UPDATE File SET highlight = 1 WHERE pk = ?", f100);
        f101 = file(101, "Price list", localeKey_, userKey_, c11, 200);
        file(102, "Bob's file", localeKey_, bob, c10, 300);
        file(103, "Nur deutsch", german, userKey_, 0, 400);
    }

    std::int64_t category(std::int64_t cmsID, const char* name, std::int64_t user) {
        std::int64_t pk = insertRow(
            "INSERT INTO FileCategory (cmsID, localeID, name, modified, locale) VALUES "
            "(?, 1, ?, 1700000000.0, ?)",
            cmsID, name, localeKey_);
        insertRow("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)", pk, user);
        return pk;
    }

    std::int64_t file(std::int64_t cmsID, const char* title, std::int64_t locale, std::int64_t user,
                      std::int64_t categoryKey, std::int64_t size) {
        std::int64_t pk = insertRow(
            "INSERT INTO File (cmsID, title, fileURL, size, modified, downloaded, "
            "updateAvailable) VALUES (?, ?, ?, ?, 1700000000.0, 0, 0)",
            cmsID, title, "/media/files/" + std::to_string(cmsID) + "/f.pdf", size);
        insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", pk, locale);
        insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", pk, user);
        if (categoryKey != 0) {
            insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", pk,
                      categoryKey);
        }
        return pk;
    }

    CatalogueSnapshot snapshot() {
        auto taken = CatalogueSnapshot::take(main(), userKey_, localeKey_);
        EXPECT_TRUE(taken.ok()) << (taken.ok() ? "" : taken.error().description);
        return taken.ok() ? taken.value() : CatalogueSnapshot{};
    }

    std::int64_t bob = 0, german = 0, c10 = 0, c11 = 0, f100 = 0, f101 = 0;
};

using Lists = CatalogueChanges::Lists;

TEST_F(CatalogueSummaryTest, OnlyTheUsersCatalogueOfTheLanguageIsPictured) {
    CatalogueSnapshot taken = snapshot();
    EXPECT_EQ(taken.categoryCount(), 2u);
    EXPECT_EQ(taken.fileCount(), 2u);
    EXPECT_EQ(taken.changesSince(CatalogueSnapshot{}),
              (CatalogueChanges{Lists{{10, 11}, {}, {}}, Lists{{100, 101}, {}, {}}}));
    EXPECT_TRUE(taken.changesSince(taken).empty());
}

TEST_F(CatalogueSummaryTest, EachKindOfEditShowsUpWhereItBelongs) {
    struct Case {
        const char* what;
        std::function<void()> edit;
        CatalogueChanges expected;
    };
    const std::vector<Case> cases = {
        {"a category renamed",
         [&] { insertRow("UPDATE FileCategory SET name = 'Booklets' WHERE pk = ?", c10); },
         {Lists{{}, {10}, {}}, {}}},
        {"a category moved to the root",
         [&] { insertRow("DELETE FROM FileCategory_subcategories WHERE child = ?", c11); },
         {Lists{{}, {11}, {}}, {}}},
        {"a category taken from the user",
         [&] { insertRow("DELETE FROM FileCategory_users WHERE category = ?", c11); },
         {Lists{{}, {}, {11}}, {}}},
        {"a file with a new date",
         [&] { insertRow("UPDATE File SET modified = modified + 60 WHERE pk = ?", f101); },
         {{}, Lists{{}, {101}, {}}}},
        {"a file at a new address",
         [&] {
             insertRow("UPDATE File SET fileURL = '/media/files/100/r2/f.pdf' WHERE pk = ?", f100);
         },
         {{}, Lists{{}, {100}, {}}}},
        {"a file put into a second category",
         [&] {
             insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", f101, c10);
         },
         {{}, Lists{{}, {101}, {}}}},
        {"a file taken from the user",
         [&] { insertRow("DELETE FROM File_users WHERE file = ?", f100); },
         {{}, Lists{{}, {}, {100}}}},
        {"another user's file given to the user",
         [&] {
             insertRow(
                 "INSERT INTO File_users (file, user) SELECT pk, ? FROM File WHERE "
                 "cmsID = ?",
                 userKey_, 102);
         },
         {{}, Lists{{102}, {}, {}}}},
        {"a download, a hidden copy and a read mark are the client's own doing",
         [&] {
             insertRow(
                 "UPDATE File SET downloaded = 1, filePath = '/Documents/100/f.pdf' "
                 "WHERE pk = ?",
                 f100);
             insertRow(
                 "INSERT INTO FileState (file, user, pretendDeletion, read) VALUES (?, ?, "
                 "1, 1)",
                 f101, userKey_);
         },
         {}},
        {"another user's and another language's records",
         [&] {
             insertRow("UPDATE File SET title = 'Neu' WHERE cmsID IN (?, ?)", 102, 103);
             insertRow("UPDATE FileCategory SET name = 'Other' WHERE cmsID = ?", 12);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(main().beginWrite().ok());
        CatalogueSnapshot before = snapshot();
        c.edit();
        EXPECT_EQ(snapshot().changesSince(before), c.expected);
        main().rollback();
    }
}

TEST_F(CatalogueSummaryTest, CountsTellWhatIsHereAndWhatASyncWouldFetch) {
    // 100 downloaded; 101 downloaded but hidden by the user; a new 104 is pending.
    insertRow("UPDATE File SET downloaded = 1 WHERE pk IN (?, ?)", f100, f101);
    insertRow("INSERT INTO FileState (file, user, pretendDeletion) VALUES (?, ?, 1)", f101,
              userKey_);
    std::int64_t f104 = file(104, "New", localeKey_, userKey_, c11, 700);

    auto counts = CatalogueCounts::count(main(), userKey_, localeKey_);
    ASSERT_TRUE(counts.ok()) << counts.error().description;
    auto pending = File::find(main(), f104);
    ASSERT_TRUE(pending.ok() && pending.value());
    auto bytes = pending.value()->completeFileSize(main());
    ASSERT_TRUE(bytes.ok());
    EXPECT_GE(bytes.value(), 700u);
    EXPECT_EQ(counts.value(), (CatalogueCounts{2, 3, 1, 1, 1, bytes.value()}));

    // An update on the server counts as pending again.
    insertRow("UPDATE File SET updateAvailable = 1 WHERE pk = ?", f100);
    auto updated = CatalogueCounts::count(main(), userKey_, localeKey_);
    ASSERT_TRUE(updated.ok());
    EXPECT_EQ(updated.value().pendingDownloads, 2);
    EXPECT_GT(updated.value().neededBytes, bytes.value());

    // Bob's figures are his own.
    auto bobs = CatalogueCounts::count(main(), bob, localeKey_);
    ASSERT_TRUE(bobs.ok());
    EXPECT_EQ(bobs.value(), (CatalogueCounts{1, 1, 0, 0, 1, bobs.value().neededBytes}));
}

}  // namespace
}  // namespace pagewell
