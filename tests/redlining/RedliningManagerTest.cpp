#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "ScriptedPresenter.h"
#include "TestSupport.h"
#include "app/LanguageSwitcher.h"
#include "app/ShippedResources.h"
#include "platform/FileSystem.h"
#include "redlining/VXRedliningMenu.h"
#include "redlining/VXRedliningObjectManager.h"
#include "redlining/VXRedliningPage.h"
#include "redlining/VXRedliningStateManager.h"
#include "store/RedliningFileName.h"

namespace pagewell {
namespace {

using G = VXRedliningObject;

class RedliningManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.resetToDefaultState();
        manager.setRedliningSaveBasePath(dir.path() / "Documents" / "redlining");
        manager.setPDFID("12_anna");
        state.setPaintMode(true);
    }
    void TearDown() override { state.resetToDefaultState(); }

    void drag(VXRedliningPage& page, std::vector<RedliningPoint> points) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            page.pan(points[i], i == 0 ? G::Began : i + 1 == points.size() ? G::Ended : G::Changed);
        }
    }
    void drawRect(VXRedliningPage& page, RedliningPoint from, RedliningPoint to) {
        state.setCurrentDrawType(3);
        drag(page, {from, to, to});
    }
    std::string saved() const { return RedliningArchive::encode(manager.getRedliningObjects()); }

    TemporaryDirectory dir;
    VXRedliningStateManager& state = VXRedliningStateManager::getInstance();
    VXRedliningObjectManager manager;
};

TEST_F(RedliningManagerTest, DrawingSelectsShapesButNotStrokesAndDropsEmptyDrawings) {
    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    EXPECT_EQ(manager.getSelectedObjects().size(), 1u);
    state.setCurrentDrawType(0);
    drag(page, {{10, 200}, {20, 210}, {30, 200}, {40, 210}, {50, 200}, {60, 210}});
    EXPECT_EQ(manager.getRedliningObjectsForPage(0)->size(), 2u);
    EXPECT_EQ(manager.getSelectedObjects().size(), 1u);
    EXPECT_TRUE(manager.redliningHasUnsavedChanges());

    // A short stroke and a tap with the rectangle tool add nothing.
    drag(page, {{10, 300}, {12, 301}, {14, 302}});
    drawRect(page, {50, 50}, {50, 50});
    EXPECT_EQ(manager.getRedliningObjectsForPage(0)->size(), 2u);
}

TEST_F(RedliningManagerTest, UndoRestoresBothObjectsOfOneDeleteAndRedoRemovesThemAgain) {
    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    drawRect(page, {110, 110}, {200, 180});
    drawRect(page, {210, 210}, {300, 280});
    manager.deselectAllRedliningObjects();
    std::string before = saved();
    const auto& objects = *manager.getRedliningObjectsForPage(0);
    manager.selectRedliningObject(objects[0]);
    manager.selectRedliningObject(objects[2]);
    manager.undoManager().beginGroup();
    for (auto object : std::vector<RedliningObjectPtr>(manager.getSelectedObjects())) {
        manager.removeRedliningObject(object, 0);
    }
    manager.undoManager().endGroup();
    std::string after = saved();
    ASSERT_EQ(manager.getRedliningObjectsForPage(0)->size(), 1u);

    ASSERT_TRUE(manager.undoManager().undo());
    EXPECT_EQ(saved(), before);
    ASSERT_TRUE(manager.undoManager().redo());
    EXPECT_EQ(saved(), after);
    manager.undoManager().undo();

    // Moving selected objects by a pan is one step; undo puts them back.
    state.setPaintMode(false);
    page.tap({10, 40});
    ASSERT_EQ(manager.getSelectedObjects().size(), 1u);
    page.pan({50, 50}, G::Began);
    page.pan({80, 90}, G::Changed);
    page.pan({80, 90}, G::Ended);
    EXPECT_EQ(manager.getSelectedObjects()[0]->transform().tx, 30);
    manager.deselectAllRedliningObjects();
    manager.undoManager().undo();
    EXPECT_EQ(saved(), before);
}

TEST_F(RedliningManagerTest, SavesPerUserAndReloadsRescaledToTheOverlay) {
    {
        VXRedliningPage page(2, {0, 0, 400, 600}, manager, state);
        drawRect(page, {10, 10}, {100, 80});
    }
    ASSERT_TRUE(manager.saveRedliningToFile().ok());
    EXPECT_FALSE(manager.redliningHasUnsavedChanges());
    struct stat info {};
    ASSERT_EQ(::stat(manager.redliningSavePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    VXRedliningObjectManager other;
    other.setRedliningSaveBasePath(manager.redliningSaveBasePath());
    other.setPDFID("12_bert");
    ASSERT_TRUE(other.loadRedliningFromFile());
    EXPECT_FALSE(other.pdfHasRedlining());
    EXPECT_TRUE(other.pdfHasRedlining("12_anna"));
    EXPECT_TRUE(
        VXRedliningObjectManager::pdfHasRedlining(manager.redliningSaveBasePath(), "12_anna"));

    other.setPDFID("12_anna");
    ASSERT_TRUE(other.loadRedliningFromFile());
    ASSERT_TRUE(other.pageHasRedlining(2));
    VXRedliningPage twice(2, {0, 0, 800, 1200}, other, state);
    EXPECT_EQ(other.getRedliningObjectsForPage(2)->front()->path()->bounds(),
              (RedliningRect{20, 20, 180, 140}));
}

TEST_F(RedliningManagerTest, AskingAboutAnotherIdKeepsUnsavedDrawings) {
    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    EXPECT_FALSE(manager.pdfHasRedlining("99_anna"));
    EXPECT_TRUE(manager.pdfHasRedlining());
    EXPECT_TRUE(manager.redliningHasUnsavedChanges());

    // Another document: its steps must not put these objects into it.
    manager.setPDFID("13_anna");
    EXPECT_FALSE(manager.undoManager().canUndo());
    EXPECT_FALSE(manager.pdfHasRedlining());
}

TEST_F(RedliningManagerTest, AnUnreadableSetIsKeptAsideOnTheFirstSave) {
    auto path = manager.redliningSavePath();
    ASSERT_TRUE(FileSystem::createDirectories(path.parent_path()).ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(path, "bplist00 damaged").ok());
    EXPECT_FALSE(manager.loadRedliningFromFile());
    EXPECT_TRUE(manager.loadWasIncomplete());
    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    ASSERT_TRUE(manager.saveRedliningToFile().ok());
    auto kept = path;
    kept += ".unreadable";
    EXPECT_EQ(manager.lastKeptOriginal(), kept);
    EXPECT_EQ(FileSystem::readFile(kept).value(), "bplist00 damaged");
    EXPECT_TRUE(VXRedliningObjectManager::pdfHasRedlining(path.parent_path(), "12_anna"));
}

TEST_F(RedliningManagerTest, AFailingSaveReportsAndKeepsTheOldFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    ASSERT_TRUE(manager.saveRedliningToFile().ok());
    std::string old = FileSystem::readFile(manager.redliningSavePath()).value();
    drawRect(page, {110, 110}, {200, 180});
    ::chmod(manager.redliningSaveBasePath().c_str(), 0500);
    EXPECT_FALSE(manager.saveRedliningToFile().ok());
    ::chmod(manager.redliningSaveBasePath().c_str(), 0700);
    EXPECT_EQ(FileSystem::readFile(manager.redliningSavePath()).value(), old);
    EXPECT_TRUE(manager.undoManager().canUndo());
}

TEST_F(RedliningManagerTest, MenuToolsStyleTheSelectionAndDeleteAllAsksFirst) {
    VXRedliningMenu menu(manager, state);
    menu.chooseTool(1);
    EXPECT_EQ(state.getCurrentLineWidth(), 14.0);
    EXPECT_EQ(state.getCurrentAlphaValue(), 0.4);
    menu.chooseTool(3);
    EXPECT_EQ(state.getCurrentLineWidth(), 2.0);
    EXPECT_EQ(state.getCurrentAlphaValue(), 1.0);

    VXRedliningPage page(0, {0, 0, 400, 600}, manager, state);
    drawRect(page, {10, 10}, {100, 80});
    drawRect(page, {110, 110}, {200, 180});
    menu.chooseColor({0, 1, 0, 1});  // both are selected right after drawing
    EXPECT_EQ(manager.getRedliningObjectsForPage(0)->at(1)->strokeColor(),
              (RedliningColor{0, 1, 0, 1}));
    menu.deleteSelection();
    EXPECT_FALSE(manager.pdfHasRedlining());
    ASSERT_TRUE(menu.undo());  // one press, one step: both come back
    EXPECT_EQ(manager.getRedliningObjectsForPage(0)->size(), 2u);

    LanguageSwitcher::setShared(
        std::make_shared<LanguageSwitcher>(ShippedResources::directory(), "de"));
    ScriptedPresenter presenter;
    std::optional<bool> removed;
    menu.deleteAll(presenter, [&](bool done) { removed = done; });
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].alert.otherButtonTitles.front(), "JA");
    presenter.answer(presenter.shown[0].id, 0);  // NEIN
    EXPECT_EQ(removed, false);
    EXPECT_TRUE(manager.pdfHasRedlining());
    menu.deleteAll(presenter, [&](bool done) { removed = done; });
    presenter.answer(presenter.shown[1].id, 1);
    EXPECT_EQ(removed, true);
    EXPECT_FALSE(manager.pdfHasRedlining());
    LanguageSwitcher::setShared(nullptr);

    menu.pointer();
    EXPECT_FALSE(state.getPaintMode());
    EXPECT_TRUE(state.getUserInteraction());
}

TEST(RedliningFileNameTest, KeepsOrdinaryIdsAndEscapesTheRestOneToOne) {
    struct Case {
        const char* id;
        const char* stem;
    };
    const Case cases[] = {
        {"12_anna", "12_anna"},
        {"a@b.de", "a@b.de"},  // "@" stays, so it no longer shares a file with "ab.de"
        {"salt_12_j\u00fcrgen", "salt_12_j\u00fcrgen"},
        {"12_\u5f20\u4f1f", "12_\u5f20\u4f1f"},
        {"../etc", "%2E.%2Fetc"},
        {"a/b", "a%2Fb"},
        {"50%", "50%25"},
        {"a b", "a%20b"},
        {".hidden", "%2Ehidden"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RedliningFileName::stem(c.id), c.stem) << c.id;
    }
    std::string longId(300, 'x');
    std::string longStem = RedliningFileName::stem(longId);
    EXPECT_EQ(longStem.size(), RedliningFileName::kMaxStemBytes);
    EXPECT_NE(longStem, RedliningFileName::stem(longId + "y"));
    EXPECT_EQ(RedliningFileName::fileName("1_a"), "1_a.redlining.plist");
}

}  // namespace
}  // namespace pagewell
