// The download view's trees: which categories are kept under each filter type and keyword,
// which files count and in which order, and that cycles in the server's category graph end
// every walk.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "LibraryFixture.h"
#include "library/CategoryTree.h"
#include "library/CategoryWrapper.h"

namespace pagewell {
namespace {

// A wrapper tree written as "name(child,child(grandchild))", to compare whole trees at once.
std::string shape(const std::vector<CategoryWrapper>& wrappers) {
    std::string text;
    for (const CategoryWrapper& wrapper : wrappers) {
        if (!text.empty()) {
            text += ",";
        }
        text += wrapper.fileCategory.name.value_or("?");
        if (!wrapper.wrappedSubcategories.empty()) {
            text += "(" + shape(wrapper.wrappedSubcategories) + ")";
        }
    }
    return text;
}

std::string shape(const Result<std::vector<CategoryWrapper>>& wrappers) {
    EXPECT_TRUE(wrappers.ok());
    return wrappers.ok() ? shape(wrappers.value()) : "<error>";
}

class CategoryTreeTest : public LibraryFixture {};

// Roots Beta and Alpha (listed by name), Alpha > Child; Empty has no file at all; the other
// user's and the other locale's roots are never listed.
TEST_F(CategoryTreeTest, EachFilterTypeKeepsTheCategoriesWithCountingFilesAndListsThemByTitle) {
    const std::int64_t beta = category("Beta");
    const std::int64_t alpha = category("Alpha");
    const std::int64_t child = category("Child");
    link(alpha, child);
    category("Empty");
    const std::int64_t bob = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
    const std::int64_t german =
        insertRow("INSERT INTO Locale (cmsID, title) VALUES (2, 'Deutsch')");
    const std::int64_t bobs = category("Bob's", std::nullopt, bob);
    const std::int64_t germanRoot = category("Deutsch", german);
    file("bob's file", {bobs});
    file("german file", {germanRoot});

    const std::int64_t zDownloaded = file("z downloaded", {beta}, "downloaded = 1");
    const std::int64_t aMissing = file("a missing", {beta}, "downloaded = 0");
    const std::int64_t neverSet = file("m never set", {beta});
    const std::int64_t xFailed = file("x failed", {child}, "downloaded = 0");
    const std::int64_t bFailed = file("b failed", {child}, "downloaded = 0");
    const std::int64_t updated = file("updated", {child}, "downloaded = 1, updateAvailable = 1");
    // An update flag on a file that is not on the device is not an update of a local copy.
    const std::int64_t updateNotLocal =
        file("update not local", {child}, "downloaded = 0, updateAvailable = 1");

    const std::set<std::int64_t> failing{cmsIDOfFile(xFailed), cmsIDOfFile(bFailed)};
    CategoryTree tree(main(), [&](std::int64_t id) { return failing.count(id) > 0; });

    struct Case {
        CategoryFilterType type;
        std::string tree;
        Keys betaFiles;
        Keys childFiles;
    };
    const std::vector<Case> cases = {
        {CategoryFilterType::All,
         "Alpha(Child),Beta",
         {aMissing, neverSet, zDownloaded},
         {bFailed, updateNotLocal, updated, xFailed}},
        {CategoryFilterType::Downloaded, "Alpha(Child),Beta", {zDownloaded}, {updated}},
        {CategoryFilterType::NotDownloaded,
         "Alpha(Child),Beta",
         {aMissing, neverSet},
         {bFailed, updateNotLocal, xFailed}},
        // Store order, not by title: "x failed" was stored before "b failed".
        {CategoryFilterType::DownloadError, "Alpha(Child)", {}, {xFailed, bFailed}},
        {CategoryFilterType::UpdateAvailable, "Alpha(Child)", {}, {updated}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategoriesWithFilterType(tree, c.type)),
                  c.tree);
        EXPECT_EQ(keysOf(tree.filteredFilesWithFilterType(load(beta), c.type)), c.betaFiles);
        EXPECT_EQ(keysOf(tree.filteredFilesWithFilterType(load(child), c.type)), c.childFiles);
    }
}

TEST_F(CategoryTreeTest, DownloadErrorFilterWithoutAnErrorSourceCountsNothing) {
    const std::int64_t root = category("Root");
    file("not downloaded", {root}, "downloaded = 0");
    CategoryTree tree(main());
    EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategoriesWithFilterType(
                  tree, CategoryFilterType::DownloadError)),
              "");
}

TEST_F(CategoryTreeTest, KeywordMatchesTitlesWhateverTheirCaseAndAccents) {
    const std::int64_t brochures = category("Brochures");
    const std::int64_t manuals = category("Manuals");
    const std::int64_t resume = file("Résumé Broschüre", {brochures});
    const std::int64_t catalogue = file("KATALOG 2024", {brochures});
    const std::int64_t turkish = file("İstanbul Fuarı", {manuals});
    file(std::nullopt, {manuals});  // no title: never matched

    struct Case {
        std::string keyword;
        std::string tree;
        Keys brochureFiles;
        Keys manualFiles;
    };
    const std::vector<Case> cases = {
        {"resume", "Brochures", {resume}, {}},
        {"BROSCHURE", "Brochures", {resume}, {}},
        {"katalog 20", "Brochures", {catalogue}, {}},
        {"istanbul", "Manuals", {}, {turkish}},
        {"e", "Brochures", {resume}, {}},
        // Nothing matches an empty keyword, as the platform's CONTAINS has it.
        {"", "", {}, {}},
        {"brochures", "", {}, {}},  // category names are not searched
    };
    CategoryTree tree(main());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyword);
        EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategoriesWithKeyword(tree, c.keyword)),
                  c.tree);
        EXPECT_EQ(keysOf(tree.filteredFilesWithKeyword(load(brochures), c.keyword)),
                  c.brochureFiles);
        EXPECT_EQ(keysOf(tree.filteredFilesWithKeyword(load(manuals), c.keyword)), c.manualFiles);
    }
}

// Only the grandchild holds a file: its ancestors stay because of it, its empty siblings and
// their empty subtrees go.
TEST_F(CategoryTreeTest, CategoriesWithoutCountingFilesAnywhereBelowArePruned) {
    const std::int64_t root = category("Root");
    const std::int64_t middle = category("Middle");
    const std::int64_t leaf = category("Leaf");
    const std::int64_t emptySibling = category("Sibling");
    const std::int64_t emptyBelowSibling = category("Below sibling");
    link(root, middle);
    link(middle, leaf);
    link(root, emptySibling);
    link(emptySibling, emptyBelowSibling);
    category("Lonely root");
    file("deep file", {leaf}, "downloaded = 0");

    CategoryTree tree(main());
    EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategoriesWithFilterType(
                  tree, CategoryFilterType::NotDownloaded)),
              "Root(Middle(Leaf))");
    EXPECT_EQ(keysOf(tree.filteredSubcategoriesWithFilterType(load(root),
                                                              CategoryFilterType::NotDownloaded)),
              Keys{middle});
    EXPECT_EQ(
        tree.isKept(load(emptySibling), CategoryFilter::withType(CategoryFilterType::All)).value(),
        false);
    // The unfiltered screens still list every subcategory.
    EXPECT_EQ(keysOf(tree.sortedSubcategories(load(root))), (Keys{middle, emptySibling}));
    // With the file downloaded, nothing is left to show under "not downloaded".
    CategoryTree afterDownload(main());
    ASSERT_TRUE(main().database().run("UPDATE File SET downloaded = 1").ok());
    EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategoriesWithFilterType(
                  afterDownload, CategoryFilterType::NotDownloaded)),
              "");
}

// The server's graph may list a category as its own child, or two categories as each other's
// child. Every query must end, keep a category whose cycle holds a counting file, and list
// each category once where a walk would meet it again.
TEST_F(CategoryTreeTest, CyclesInTheCategoryGraphEndEveryWalk) {
    const std::int64_t root = category("Root");
    const std::int64_t self = category("Self");
    const std::int64_t ping = category("Ping");
    const std::int64_t pong = category("Pong");
    link(root, self);
    link(self, self);
    link(root, ping);
    link(ping, pong);
    link(pong, ping);
    const std::int64_t emptyRoot = category("Empty cycle root");
    const std::int64_t a = category("A");
    const std::int64_t b = category("B");
    link(emptyRoot, a);
    link(a, b);
    link(b, a);
    file("in pong", {pong});

    CategoryTree tree(main());
    const CategoryFilter all = CategoryFilter::withType(CategoryFilterType::All);
    // Ping is kept through Pong; Pong through its own file; Self has nothing in its loop.
    EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategories(tree, all)), "Root(Ping(Pong))");
    EXPECT_FALSE(tree.isKept(load(self), all).value());
    EXPECT_FALSE(tree.isKept(load(a), all).value());
    EXPECT_TRUE(tree.isKept(load(pong), all).value());
    // Pong's own subtree shows Ping below it, but not Pong again.
    auto fromPong = CategoryWrapper::wrap(tree, load(pong), all);
    ASSERT_TRUE(fromPong.ok());
    EXPECT_EQ(shape(std::vector<CategoryWrapper>{fromPong.value()}), "Pong(Ping)");
    EXPECT_EQ(keysOf(tree.filteredCategoryClosure(load(root), all)), (Keys{root, ping, pong}));
    EXPECT_EQ(keysOf(tree.filteredCategoryClosure(load(ping), all)), (Keys{ping, pong}));

    // A fresh tree asked about the cycle members first answers the same.
    CategoryTree fresh(main());
    EXPECT_TRUE(fresh.isKept(load(ping), all).value());
    EXPECT_FALSE(fresh.isKept(load(b), all).value());
    EXPECT_EQ(keysOf(fresh.filteredRootCategories(all)), Keys{root});
    EXPECT_EQ(keysOf(fresh.filteredCategoryClosure(load(a), all)), Keys{a});
}

// A category reached along two paths is walked once by the closure, but shown under each
// parent in the tree.
TEST_F(CategoryTreeTest, SharedSubcategoryIsShownUnderEachParentAndWalkedOnce) {
    const std::int64_t root = category("Root");
    const std::int64_t left = category("Left");
    const std::int64_t right = category("Right");
    const std::int64_t shared = category("Shared");
    link(root, left);
    link(root, right);
    link(left, shared);
    link(right, shared);
    file("shared file", {shared});

    CategoryTree tree(main());
    const CategoryFilter all = CategoryFilter::withType(CategoryFilterType::All);
    EXPECT_EQ(shape(CategoryWrapper::wrappedRootCategories(tree, all)),
              "Root(Left(Shared),Right(Shared))");
    EXPECT_EQ(keysOf(tree.filteredCategoryClosure(load(root), all)),
              (Keys{root, left, shared, right}));
}

TEST_F(CategoryTreeTest, CategoriesGoByNameAndFilesByTitleInTheStoresOrder) {
    // Byte order as the store sorts: upper case before lower case, no name first, equal names
    // by row key.
    const std::int64_t lower = category("apple");
    const std::int64_t upper = category("Zebra");
    const std::int64_t twinFirst = category("Twin");
    const std::int64_t twinSecond = category("Twin");
    const std::int64_t unnamed = category(std::nullopt);
    for (std::int64_t key : {lower, upper, twinFirst, twinSecond, unnamed}) {
        file("f", {key});
    }
    const std::int64_t parent = category("Parent");
    const std::int64_t childB = category("b child");
    const std::int64_t childA = category("A child");
    link(parent, childB);
    link(parent, childA);
    link(upper, parent);  // Parent is no root

    const std::int64_t second = file("Second", {childA});
    const std::int64_t first = file("First", {childA});
    const std::int64_t small = file("first", {childA});

    CategoryTree tree(main());
    EXPECT_EQ(keysOf(tree.sortedRootCategories()),
              (Keys{unnamed, twinFirst, twinSecond, upper, lower}));
    EXPECT_EQ(keysOf(tree.sortedSubcategories(load(parent))), (Keys{childA, childB}));
    EXPECT_EQ(keysOf(tree.filteredFilesWithFilterType(load(childA), CategoryFilterType::All)),
              (Keys{first, second, small}));
    EXPECT_EQ(keysOf(tree.sortedFiles(load(childA))), (Keys{first, second, small}));
}

// The category screens list only the files of the user and locale; the download view's
// counting files are all files linked to the category.
TEST_F(CategoryTreeTest, SortedFilesKeepOnlyTheUsersFilesOfTheLocale) {
    const std::int64_t root = category("Root");
    const std::int64_t mine = file("mine", {root});
    const std::int64_t foreign =
        insertRow("INSERT INTO File (cmsID, title) VALUES (5000, 'other locale only')");
    insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", foreign, root);
    insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", foreign, userKey_);

    CategoryTree tree(main());
    EXPECT_EQ(keysOf(tree.sortedFiles(load(root))), Keys{mine});
    EXPECT_EQ(keysOf(tree.filteredFilesWithFilterType(load(root), CategoryFilterType::All)),
              (Keys{mine, foreign}));
}

TEST_F(CategoryTreeTest, NoUserOrNoLocaleGivesAnEmptyTree) {
    const std::int64_t root = category("Root");
    file("f", {root});
    CurrentSelection::setLocale(std::nullopt);
    CategoryTree noLocale(main());
    EXPECT_TRUE(keysOf(noLocale.sortedRootCategories()).empty());
    CurrentSelection::setLocale(localeKey_);
    CurrentSelection::setUser(std::nullopt, std::nullopt);
    CategoryTree noUser(main());
    EXPECT_TRUE(keysOf(noUser.filteredRootCategories({})).empty());
    // An explicit scope does not need the current selection.
    CategoryTree scoped(main(), nullptr, {userKey_, localeKey_});
    EXPECT_EQ(keysOf(scoped.filteredRootCategories({})), Keys{root});
}

TEST(CategoryFilterTypeTest, NumbersAndLabels) {
    EXPECT_EQ(categoryFilterTypeFromInt(3), CategoryFilterType::DownloadError);
    EXPECT_EQ(categoryFilterTypeFromInt(5), std::nullopt);
    EXPECT_EQ(categoryFilterTypeFromInt(-1), std::nullopt);
    EXPECT_STREQ(categoryFilterLabel(CategoryFilterType::NotDownloaded).key,
                 "FILTER_NOT_DOWNLOADED");
    EXPECT_STREQ(categoryFilterLabel(CategoryFilterType::UpdateAvailable).fallback,
                 "Update available");
}

}  // namespace
}  // namespace pagewell
