// Answers that would take most of the user's files off the device are held back unless the
// guard admits them, whichever answer removes them: the category list dropping whole categories
// (which take their files with them), a category's full file list dropping files, or a change
// answer's "delete" list. Held back means the store is exactly as before; admitted, the same
// answer applies. Smaller removals apply at once.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "sync/ImporterFixture.h"
#include "sync/MassRemovalGuard.h"

namespace pagewell {
namespace {

class MassRemovalImportTest : public ImporterFixture {
  protected:
    void SetUp() override {
        ImporterFixture::SetUp();
        importer_ = std::make_shared<DataImporter>(timestamps_, guard_);
    }

    // Categories 10 and 11 holding `inTen` and `inEleven` files (ids from 1000 and 2000).
    void catalogue(int inTen, int inEleven) {
        ASSERT_TRUE(main().database().run("DELETE FROM File").ok());
        timestamps_->resetAllTimestampsForCurrentUser();
        Json categories{
            {"items", {{{"id", "10"}, {"title", "A"}}, {{"id", "11"}, {"title", "B"}}}}};
        ASSERT_TRUE(importer_->importCategoriesWithJSON(categories, "1").ok());
        ASSERT_TRUE(importer_->insertFilesWithJSON(files(1000, inTen), 10).ok());
        ASSERT_TRUE(importer_->insertFilesWithJSON(files(2000, inEleven), 11).ok());
    }

    static Json files(int first, int count) {
        Json items = Json::array();
        for (int id = first; id < first + count; ++id) {
            items.push_back({{"id", std::to_string(id)},
                             {"title", "File " + std::to_string(id)},
                             {"file_location", "/media/files/" + std::to_string(id) + "/a.pdf"},
                             {"time_modified", "2024-01-03 09:00:00"}});
        }
        return Json{{"items", items}};
    }

    std::int64_t filesHeld() {
        return scalar("SELECT COUNT(*) FROM File_users WHERE user = ?", userKey_);
    }

    std::shared_ptr<MassRemovalGuard> guard_ = std::make_shared<MassRemovalGuard>();
};

TEST_F(MassRemovalImportTest, MostOfTheUsersFilesGoOnlyWhenAdmitted) {
    using Answer = std::function<Status(DataImporter&, TimestampManager&)>;
    struct Case {
        const char* why;
        int inTen;
        int inEleven;
        Answer answer;
        std::int64_t removed;  // files the answer takes from the user
        bool heldBack;
    };
    const Answer noCategories = [](DataImporter& importer, TimestampManager&) {
        return importer.importCategoriesWithJSON(Json{{"items", Json::array()}}, "1");
    };
    const Answer tenListsFive = [](DataImporter& importer, TimestampManager&) {
        return importer.insertFilesWithJSON(files(1000, 5), 10);
    };
    const Answer tenListsNothing = [](DataImporter& importer, TimestampManager&) {
        return importer.insertFilesWithJSON(files(1000, 0), 10);
    };
    const Answer deleteTwentyFive = [](DataImporter& importer, TimestampManager& timestamps) {
        timestamps.saveTimestamp("9", "10");
        Json changes = files(1000, 0);
        changes["remove"] = Json::array();
        changes["delete"] = Json::array();
        for (int id = 1000; id < 1025; ++id) {
            changes["delete"].push_back(std::to_string(id));
        }
        return importer.insertFilesWithJSON(changes, 10);
    };
    const Case cases[] = {
        {"a category list that lists nothing takes every file", 30, 0, noCategories, 30, true},
        {"a full file list dropping 25 of 40", 30, 10, tenListsFive, 25, true},
        {"a change answer deleting 25 of 30", 30, 0, deleteTwentyFive, 25, true},
        {"exactly half is no mass removal", 20, 20, tenListsNothing, 20, false},
        {"fewer than 20 files is no mass removal", 19, 0, tenListsNothing, 19, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_NO_FATAL_FAILURE(catalogue(c.inTen, c.inEleven));
        const std::int64_t held = c.inTen + c.inEleven;
        ASSERT_EQ(filesHeld(), held);
        guard_->beginSync(false);
        const auto before = snapshot();

        Status result = c.answer(*importer_, *timestamps_);
        if (c.heldBack) {
            ASSERT_FALSE(result.ok());
            EXPECT_TRUE(MassRemovalGuard::isHeldBack(result.error())) << result.error().toString();
            EXPECT_EQ(snapshot(), before);
            EXPECT_EQ(guard_->heldBack(), (MassRemovalGuard::Removal{c.removed, held}));
            guard_->beginSync(true);  // the user said yes
            result = c.answer(*importer_, *timestamps_);
        } else {
            EXPECT_FALSE(guard_->heldBack());
        }
        ASSERT_TRUE(result.ok()) << result.error().toString();
        EXPECT_EQ(filesHeld(), held - c.removed);
    }
}

TEST_F(MassRemovalImportTest, TheQuestionNamesBothCountsInTheInterfaceLanguage) {
    const MassRemovalGuard::Removal removal{25, 40};
    Alert english = MassRemovalGuard::question(removal, nullptr);
    EXPECT_EQ(english.message,
              "The server no longer lists 25 of your 40 files. Remove them from this device?");
    EXPECT_EQ(english.buttonTitle(english.cancelButtonIndex()), "No");
    EXPECT_EQ(english.buttonTitle(english.firstOtherButtonIndex()), "Yes");
    Alert german = MassRemovalGuard::question(removal, [](std::string_view key, std::string_view) {
        return key == MassRemovalGuard::kQuestionKey
                   ? std::string("Der Server führt %d Ihrer %d Dateien nicht mehr.")
                   : std::string(key);
    });
    EXPECT_EQ(german.message, "Der Server führt 25 Ihrer 40 Dateien nicht mehr.");
}

}  // namespace
}  // namespace pagewell
