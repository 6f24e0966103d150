// The synchronisation screen against pagewell-cms serving the demo catalogue, with the real
// sync manager, token renewal and downloads: refresh lists the catalogue, download all asks
// and brings every listed file onto the device so that every row offers Delete, a second
// download all has nothing to do, and delete all takes every copy away again.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DemoCmsFixture.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "net/CatalogueRequests.h"
#include "net/EndpointDelegates.h"
#include "store/Database.h"
#include "store/File.h"
#include "store/StoredPath.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/SyncManager.h"
#include "sync/SyncViewController.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {
namespace {

using namespace std::chrono_literals;

class SyncViewCmsTest : public DemoCmsFixture {
  protected:
    void SetUp() override {
        DemoCmsFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(startServerAndSignIn());
        InterfaceManager::setShared(
            std::make_shared<InterfaceManager>(InterfaceManager::defaultBaseURL()));
        wireImporter();
        ASSERT_NO_FATAL_FAILURE(chooseEnglish());

        SyncManager::setShared(std::make_shared<SyncManager>());
        screen_ = SyncViewController::create();
    }

    void TearDown() override {
        screen_.reset();
        SyncManager::setShared(nullptr);
        DemoCmsFixture::TearDown();
    }

    // Every file the screen lists under the current filter, each with its row's state.
    std::vector<std::pair<File, SyncViewCell::ButtonState>> listedFiles() {
        std::vector<std::pair<File, SyncViewCell::ButtonState>> listed;
        CategoryTree tree = screen_->makeTree();
        auto roots = CategoryWrapper::wrappedRootCategories(tree, screen_->filter());
        EXPECT_TRUE(roots.ok());
        if (!roots.ok()) {
            return listed;
        }
        std::vector<const CategoryWrapper*> pending;
        for (const CategoryWrapper& root : roots.value()) {
            pending.push_back(&root);
        }
        while (!pending.empty()) {
            const CategoryWrapper* wrapper = pending.back();
            pending.pop_back();
            auto files = tree.filteredFiles(wrapper->fileCategory, screen_->filter());
            EXPECT_TRUE(files.ok());
            for (const File& file : files.value()) {
                listed.emplace_back(file, screen_->makeCell(file)->buttonState());
            }
            for (const CategoryWrapper& child : wrapper->wrappedSubcategories) {
                pending.push_back(&child);
            }
        }
        return listed;
    }

    // Answers the alert that is open last with the button titled `title`.
    void answer(const std::string& title) {
        ASSERT_TRUE(pump([&] {
            return !presenter_->shown.empty() && presenter_->isOpen(presenter_->shown.back().id);
        }));
        const auto& shown = presenter_->shown.back();
        for (int index = 0; index < static_cast<int>(shown.alert.buttonCount()); ++index) {
            if (shown.alert.buttonTitle(index) == title) {
                presenter_->answer(shown.id, index);
                return;
            }
        }
        FAIL() << "no button " << title << " on " << shown.alert.title;
    }

    std::shared_ptr<SyncViewController> screen_;
};

TEST_F(SyncViewCmsTest, RefreshDownloadAllAndDeleteAllThroughTheScreen) {
    std::optional<SyncViewController::RefreshResult> refreshed;
    screen_->refresh([&](const auto& result) { refreshed = result; });
    ASSERT_TRUE(pump([&] { return refreshed.has_value(); }));
    ASSERT_EQ(refreshed->ending, SyncViewController::RefreshResult::Ending::Refreshed)
        << (refreshed->error ? refreshed->error->description : "");

    auto before = listedFiles();
    ASSERT_FALSE(before.empty()) << "the demo catalogue lists files";
    for (const auto& [file, state] : before) {
        EXPECT_EQ(state, SyncViewCell::ButtonState::Download) << file.title.value_or("?");
    }

    std::optional<SyncViewController::DownloadAllResult> downloaded;
    screen_->downloadAll([&](const auto& result) { downloaded = result; });
    EXPECT_EQ(presenter_->shown.back().alert.title, "Start sync");
    answer("Yes");
    ASSERT_TRUE(MainQueue::shared().runUntil([&] { return downloaded.has_value(); }, 60s));
    ASSERT_EQ(downloaded->ending, SyncViewController::DownloadAllResult::Ending::Downloaded);
    ASSERT_TRUE(downloaded->downloads.has_value());
    EXPECT_EQ(downloaded->downloads->ending, SyncManager::DownloadResult::Ending::Finished);
    EXPECT_TRUE(downloaded->downloads->summary.failed.empty());
    EXPECT_FALSE(screen_->isSyncInProgress());

    auto after = listedFiles();
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [file, state] : after) {
        EXPECT_EQ(state, SyncViewCell::ButtonState::Delete) << file.title.value_or("?");
        ASSERT_TRUE(file.filePath.has_value());
        EXPECT_TRUE(std::filesystem::exists(StoredPath::getAbsolutePath(*file.filePath)))
            << *file.filePath;
    }
    screen_->setFilterType(CategoryFilterType::NotDownloaded);
    EXPECT_TRUE(listedFiles().empty());
    screen_->setFilterType(CategoryFilterType::All);

    std::optional<SyncViewController::DownloadAllResult> again;
    screen_->downloadAll([&](const auto& result) { again = result; });
    EXPECT_EQ(presenter_->shown.back().alert.message, "There are no files to download");
    answer("Ok");
    ASSERT_TRUE(pump([&] { return again.has_value(); }));
    EXPECT_EQ(again->ending, SyncViewController::DownloadAllResult::Ending::NothingToDownload);

    std::optional<SyncViewController::DeleteAllResult> deleted;
    screen_->deleteAll([&](const auto& result) { deleted = result; });
    answer("Yes");
    ASSERT_TRUE(pump([&] { return deleted.has_value(); }));
    ASSERT_EQ(deleted->ending, SyncViewController::DeleteAllResult::Ending::Deleted);
    // A file listed under several categories is one file.
    std::set<std::int64_t> distinct;
    for (const auto& [file, state] : after) {
        distinct.insert(file.pk);
    }
    EXPECT_EQ(deleted->deletedFiles, distinct.size());
    for (const auto& [file, state] : listedFiles()) {
        EXPECT_EQ(state, SyncViewCell::ButtonState::Download) << file.title.value_or("?");
    }
    for (const auto& [file, state] : after) {
        EXPECT_FALSE(std::filesystem::exists(StoredPath::getAbsolutePath(*file.filePath)))
            << *file.filePath;
    }
}

}  // namespace
}  // namespace pagewell::test
