// The category panel's order: the server's position under each parent first, then the natural
// name order; other users' and other locales' categories never listed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LibraryFixture.h"
#include "library/ShelfCategoryPanel.h"

namespace pagewell {
namespace {

class ShelfCategoryPanelTest : public LibraryFixture {
  protected:
    std::string names(const Result<std::vector<ShelfCategoryPanel::Entry>>& entries) {
        EXPECT_TRUE(entries.ok());
        std::string text;
        for (const auto& entry : entries.value()) {
            text += entry.category.name.value_or("?") + (entry.hasSubcategories ? "+" : "") + " ";
        }
        return text;
    }
    void sorting(std::int64_t category, std::int64_t parentID, std::int64_t position) {
        insertRow(
            "INSERT INTO CategorySorting (category, parentCategoryID, localeID, position) "
            "VALUES (?, ?, 1, ?)",
            category, parentID, position);
    }
    void setLocaleID() {
        ASSERT_TRUE(main().database().run("UPDATE FileCategory SET localeID = 1").ok());
    }
};

TEST_F(ShelfCategoryPanelTest, RootsAndChildrenGoByPositionThenNaturalName) {
    const std::int64_t b = category("Brochures");
    const std::int64_t a = category("Archive");
    const std::int64_t z = category("Zebra");
    const std::int64_t n10 = category("Series 10");
    const std::int64_t n9 = category("series 9");
    const std::int64_t mine = category("Mine");
    link(b, n10);
    link(b, n9);
    link(b, mine);
    const std::int64_t bob = insertRow("INSERT INTO User (cmsID, username) VALUES (2, 'bob')");
    link(b, category("Bob's", std::nullopt, bob));
    category("Bob's root", std::nullopt, bob);
    setLocaleID();
    sorting(z, 0, 1);
    sorting(b, 0, 2);
    sorting(mine, ShelfCategoryPanelTest::scalar("SELECT cmsID FROM FileCategory WHERE pk = ?", b),
            5);
    (void)a;
    ShelfCategoryPanel panel(main());
    // Positions first (no position sorts first, as an empty value does), then names.
    EXPECT_EQ(names(panel.roots()), "Archive Zebra Brochures+ ");
    EXPECT_EQ(names(panel.children(load(b))), "series 9 Series 10 Mine ");
    EXPECT_EQ(names(ShelfCategoryPanel(main(), userKey_, localeKey_).children(load(n9))), "");
    CurrentSelection::setLocale(std::nullopt);
    EXPECT_EQ(names(ShelfCategoryPanel(main()).roots()), "");
}

}  // namespace
}  // namespace pagewell
