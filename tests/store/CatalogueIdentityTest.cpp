// Identity rules of the catalogue entities: one File per cmsID across locales and users, one
// FileCategory per (cmsID, locale), one FileState per (file, user), one FileSorting per
// (fileID, categoryID, localeID), one CategorySorting and Locale per cmsID, and the User
// look-up by name or identifier.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Logger.h"
#include "store/CategorySorting.h"
#include "store/CurrentSelection.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/FileSorting.h"
#include "store/FileState.h"
#include "store/Locale.h"
#include "store/StoreFixture.h"
#include "store/StoreRulesTestSupport.h"
#include "store/User.h"

namespace pagewell {
namespace {

using Keys = std::vector<std::int64_t>;

class CatalogueIdentityTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        Logger::shared().addSink(log_);
        germanKey_ = insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 2, "Deutsch");
    }
    void TearDown() override {
        Logger::shared().removeSink(log_);
        StoreFixture::TearDown();
    }

    File fileWithId(std::int64_t id, std::optional<std::int64_t> locale) {
        auto file = File::fileWithId(main(), id, locale);
        EXPECT_TRUE(file.ok() && file.value());
        return file.ok() && file.value() ? *file.value() : File{};
    }

    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
    std::int64_t germanKey_ = 0;
};

TEST_F(CatalogueIdentityTest, TheSameFileInTwoLocalesIsOneFileWithBothLocales) {
    File english = fileWithId(7, localeKey_);
    File german = fileWithId(7, germanKey_);
    File again = fileWithId(7, germanKey_);

    EXPECT_EQ(english.pk, german.pk);
    EXPECT_EQ(german.pk, again.pk);
    EXPECT_EQ(english.cmsID, 7);
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 1);
    EXPECT_EQ(english.localeKeys(main()).value(), (Keys{localeKey_, germanKey_}));
    // Find-or-create saves: nothing is left open in the context.
    EXPECT_FALSE(main().inWrite());
}

TEST_F(CatalogueIdentityTest, FileWithIdFillsTheLocaleAndContextFromTheCurrentSelection) {
    // No context: the main context of the shared store; no locale: the current one.
    auto file = File::fileWithId(9);
    ASSERT_TRUE(file.ok() && file.value());
    EXPECT_EQ(file.value()->localeKeys(main()).value(), (Keys{localeKey_}));

    CurrentSelection::setLocale(std::nullopt);
    auto noLocale = File::fileWithId(main(), 10, std::nullopt);
    ASSERT_TRUE(noLocale.ok());
    EXPECT_FALSE(noLocale.value());
    EXPECT_TRUE(log_->contains("Cannot get file without locale."));

    auto noId = File::fileWithId(main(), std::nullopt, localeKey_);
    ASSERT_TRUE(noId.ok());
    EXPECT_FALSE(noId.value());
    EXPECT_TRUE(log_->contains("Cannot get file without id."));
    EXPECT_EQ(scalar("SELECT count(*) FROM File"), 1);
}

TEST_F(CatalogueIdentityTest, TheSameCategoryInTwoLocalesIsTwoRecords) {
    auto english = FileCategory::fileCategoryWithID(main(), 30, localeKey_);
    auto german = FileCategory::fileCategoryWithID(main(), 30, germanKey_);
    auto englishAgain = FileCategory::fileCategoryWithID(main(), 30);  // current locale
    ASSERT_TRUE(english.ok() && english.value() && german.ok() && german.value());
    ASSERT_TRUE(englishAgain.ok() && englishAgain.value());

    EXPECT_NE(english.value()->pk, german.value()->pk);
    EXPECT_EQ(english.value()->pk, englishAgain.value()->pk);
    EXPECT_EQ(english.value()->localeID, 1);
    EXPECT_EQ(german.value()->localeID, 2);
    EXPECT_EQ(german.value()->locale, germanKey_);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileCategory"), 2);
    // The current user holds both.
    EXPECT_EQ(german.value()->userKeys(main()).value(), (Keys{userKey_}));

    auto noId = FileCategory::fileCategoryWithID(main(), std::nullopt, localeKey_);
    ASSERT_TRUE(noId.ok());
    EXPECT_FALSE(noId.value());
    EXPECT_TRUE(log_->contains("FileCategory needs a valid ID"));
}

TEST_F(CatalogueIdentityTest, ASecondUserJoinsTheRecordsAndGetsAStateOfHisOwn) {
    File file = fileWithId(7, localeKey_);
    ASSERT_TRUE(file.addUser(main(), userKey_).ok());
    auto first = file.addFileStateForUser(main());  // no user: the signed-in one
    ASSERT_TRUE(first.ok() && first.value());
    ASSERT_TRUE(FileCategory::fileCategoryWithID(main(), 30).ok());

    auto bob = User::userWithID(main(), 2, "bob");
    ASSERT_TRUE(bob.ok());
    CurrentSelection::setUser(bob.value().pk, "bob");
    File same = fileWithId(7, localeKey_);
    ASSERT_TRUE(same.addUser(main(), bob.value().pk).ok());
    auto second = same.addFileStateForUser(main(), bob.value().pk);
    auto secondAgain = same.addFileStateForUser(main(), bob.value().pk);
    auto category = FileCategory::fileCategoryWithID(main(), 30);
    ASSERT_TRUE(second.ok() && second.value() && secondAgain.ok() && secondAgain.value());
    ASSERT_TRUE(category.ok() && category.value());

    EXPECT_EQ(same.pk, file.pk);
    EXPECT_EQ(same.userKeys(main()).value(), (Keys{userKey_, bob.value().pk}));
    EXPECT_NE(second.value()->pk, first.value()->pk);
    EXPECT_EQ(second.value()->pk, secondAgain.value()->pk);
    EXPECT_EQ(same.fileStates(main()).value().size(), 2u);
    EXPECT_EQ(same.fileStateForUser(main(), userKey_).value()->pk, first.value()->pk);
    EXPECT_EQ(same.fileStateForCurrentUser().value()->pk, second.value()->pk);
    EXPECT_EQ(category.value()->userKeys(main()).value(), (Keys{userKey_, bob.value().pk}));
    EXPECT_EQ(scalar("SELECT count(*) FROM FileCategory"), 1);
}

TEST_F(CatalogueIdentityTest, UsersAreFoundByNameOrIdentifierAndTakeBoth) {
    struct Case {
        const char* why;
        std::optional<std::int64_t> id;
        std::optional<std::string> name;
        std::int64_t expectedUsers;
        bool sameAsAlice;
    };
    const Case cases[] = {
        {"same name, new identifier: found by name", 41, "alice", 1, true},
        {"same identifier, new name: found by identifier", 41, "alice.smith", 1, true},
        {"neither matches: created", 42, "carol", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        auto user = User::userWithID(main(), c.id, c.name);
        ASSERT_TRUE(user.ok());
        EXPECT_EQ(user.value().pk == userKey_, c.sameAsAlice);
        EXPECT_EQ(user.value().cmsID, c.id);
        EXPECT_EQ(user.value().username, c.name);
        auto stored = User::find(main(), user.value().pk);
        ASSERT_TRUE(stored.ok() && stored.value());
        EXPECT_EQ(stored.value()->cmsID, c.id);
        EXPECT_EQ(stored.value()->username, c.name);
        EXPECT_EQ(scalar("SELECT count(*) FROM User"), c.expectedUsers);
    }
}

TEST_F(CatalogueIdentityTest, LocalesAreOnePerIdentifierAndCollectTheirUsers) {
    auto bob = User::userWithID(main(), 2, "bob");
    ASSERT_TRUE(bob.ok());
    auto first = Locale::localeWithID(main(), 5);  // the signed-in user
    auto second = Locale::localeWithID(main(), 5, bob.value().pk);
    auto other = Locale::localeWithID(main(), 2);  // the existing German locale
    ASSERT_TRUE(first.ok() && second.ok() && other.ok());
    EXPECT_EQ(first.value().pk, second.value().pk);
    EXPECT_EQ(other.value().pk, germanKey_);
    EXPECT_EQ(other.value().title, "Deutsch");
    EXPECT_EQ(second.value().userKeys(main()).value(), (Keys{userKey_, bob.value().pk}));
    EXPECT_EQ(scalar("SELECT count(*) FROM Locale"), 3);
}

TEST_F(CatalogueIdentityTest, FileSortingsAreOnePerFileCategoryAndLocaleWithTheUsersState) {
    File file = fileWithId(7, localeKey_);
    auto inCategory = FileSorting::createSortingWithFile(main(), file, 30, 1);
    auto highlight = FileSorting::createSortingWithFile(main(), file, std::nullopt, 1);
    auto highlightAgain = FileSorting::createSortingWithFile(main(), file, std::nullopt, 1);
    auto otherLocale = FileSorting::createSortingWithFile(main(), file, 30, 2);
    ASSERT_TRUE(inCategory.ok() && highlight.ok() && highlightAgain.ok() && otherLocale.ok());

    // An empty categoryID matches only an empty categoryID.
    EXPECT_NE(inCategory.value().pk, highlight.value().pk);
    EXPECT_EQ(highlight.value().pk, highlightAgain.value().pk);
    EXPECT_NE(inCategory.value().pk, otherLocale.value().pk);
    EXPECT_EQ(scalar("SELECT count(*) FROM FileSorting"), 3);
    EXPECT_EQ(highlight.value().fileID, 7);
    EXPECT_FALSE(highlight.value().categoryID);
    EXPECT_EQ(highlight.value().files, file.pk);

    // Making a sorting made the user's state, and every sorting points at it.
    auto state = file.fileStateForCurrentUser(main());
    ASSERT_TRUE(state.ok() && state.value());
    EXPECT_EQ(scalar("SELECT count(*) FROM FileState"), 1);
    for (const auto* sorting : {&inCategory, &highlight, &otherLocale}) {
        EXPECT_EQ(sorting->value().fileState, state.value()->pk);
    }

    auto found = FileSorting::getSortingWithFile(main(), file, std::nullopt, 1);
    auto missing = FileSorting::getSortingWithFile(main(), file, 31, 1);
    ASSERT_TRUE(found.ok() && found.value() && missing.ok());
    EXPECT_EQ(found.value()->pk, highlight.value().pk);
    EXPECT_FALSE(missing.value());
    EXPECT_EQ(file.fileSortings(main()).value().size(), 3u);
}

TEST_F(CatalogueIdentityTest, CategorySortingsAreFoundByIdentifierOrByCategoryParentAndLocale) {
    auto category = FileCategory::fileCategoryWithID(main(), 30);
    ASSERT_TRUE(category.ok() && category.value());
    const std::int64_t categoryKey = category.value()->pk;
    auto made = CategorySorting::sortingWithID(main(), 900, categoryKey, 20, 1);
    auto moved = CategorySorting::sortingWithID(main(), 900, categoryKey, 21, 1);
    ASSERT_TRUE(made.ok() && made.value() && moved.ok() && moved.value());
    EXPECT_EQ(made.value()->pk, moved.value()->pk);
    EXPECT_EQ(scalar("SELECT count(*) FROM CategorySorting"), 1);

    auto byCategory = CategorySorting::sortingWithCategory(main(), categoryKey, 21, 1);
    auto oldParent = CategorySorting::sortingWithCategory(main(), categoryKey, 20, 1);
    ASSERT_TRUE(byCategory.ok() && byCategory.value() && oldParent.ok());
    EXPECT_EQ(byCategory.value()->pk, made.value()->pk);
    EXPECT_FALSE(oldParent.value());
    EXPECT_EQ(category.value()->sortingKeys(main()).value(), (Keys{made.value()->pk}));

    auto noId = CategorySorting::sortingWithID(main(), std::nullopt, categoryKey, 20, 1);
    ASSERT_TRUE(noId.ok());
    EXPECT_FALSE(noId.value());
}

TEST_F(CatalogueIdentityTest, AttributesSurviveAStoreRoundTrip) {
    File file = fileWithId(7, localeKey_);
    file.title = "Brochure";
    file.fileURL = "/media/Brochure.PDF";
    file.size = 1'000;
    file.modified = SystemTime(std::chrono::seconds(1'700'000'000));
    file.setHighlightState(true);
    file.needsReadConfirmation = 1;
    file.confirmationDate = SystemTime(std::chrono::seconds(1'700'000'100));
    file.didSendReadConfirmation = true;
    ASSERT_TRUE(file.update(main()).ok());
    ASSERT_TRUE(main().save().ok());

    auto stored = File::find(main(), file.pk);
    ASSERT_TRUE(stored.ok() && stored.value());
    EXPECT_EQ(stored.value()->title, "Brochure");
    EXPECT_EQ(stored.value()->size, 1'000);
    EXPECT_EQ(stored.value()->modified, file.modified);
    EXPECT_TRUE(stored.value()->isHighlight());
    EXPECT_TRUE(stored.value()->didSendReadConfirmation);
    EXPECT_TRUE(stored.value()->isPDFFile());
    EXPECT_EQ(stored.value()->getFileTypeString(), "PDF");

    stored.value()->resetReadConfirmation();
    EXPECT_FALSE(stored.value()->didSendReadConfirmation);
    EXPECT_FALSE(stored.value()->confirmationDate);
}

}  // namespace
}  // namespace pagewell
