// The search hits by page and the notifications page views reload on.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pdfkit/VXPDFRenderStateStack.h"
#include "pdfkit/VXPDFSelectionManager.h"
#include "platform/NotificationCenter.h"

namespace pagewell {
namespace {

VXPDFSelection selectionAt(double x) {
    VXPDFRenderState state;
    state.textMatrix = PdfAffineTransform::translation(x, 0);
    return VXPDFSelection(state);
}

class SelectionManagerTest : public testing::Test {
  protected:
    SelectionManagerTest() {
        center->addObserverForAllNames([this](const Notification& notification) {
            const int* page = notification.userInfoAs<int>();
            events.push_back(notification.name + (page ? " " + std::to_string(*page) : ""));
        });
    }

    std::shared_ptr<NotificationCenter> center = std::make_shared<NotificationCenter>();
    VXPDFSelectionManager manager{center};
    std::vector<std::string> events;
};

TEST_F(SelectionManagerTest, StoresHitsByPageAndKeepsTheFirstList) {
    manager.addPDFSelections({selectionAt(1), selectionAt(2)}, 3);
    manager.addPDFSelections({selectionAt(9)}, 3);
    manager.addPDFSelections({selectionAt(4)}, 1);

    EXPECT_EQ(manager.getCount(), 2);
    EXPECT_EQ(manager.pages(), (std::vector<int>{1, 3}));
    const auto page3 = manager.getPDFSelectionsForPage(3);
    ASSERT_EQ(page3.size(), 2u);
    EXPECT_EQ(page3[1].startState().textMatrix.tx, 2);
    EXPECT_TRUE(manager.getPDFSelectionsForPage(2).empty());
    EXPECT_EQ(events, (std::vector<std::string>{"addSelectionsForPageEvent 3",
                                                "addSelectionsForPageEvent 3",
                                                "addSelectionsForPageEvent 1"}))
        << "every add is announced, also one that was not stored";
}

TEST_F(SelectionManagerTest, RemovesOnePageOrAll) {
    manager.addPDFSelections({selectionAt(1)}, 1);
    manager.addPDFSelections({selectionAt(2)}, 2);
    events.clear();

    manager.removePDFSelectionsForPage(1);
    EXPECT_EQ(manager.getCount(), 1);
    EXPECT_TRUE(manager.getPDFSelectionsForPage(1).empty());
    manager.removeAllPDFSelections();
    EXPECT_EQ(manager.getCount(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"removeSelectionsForPageEvent 1",
                                                "removeAllSelectionsEvent"}));
}

TEST(VXPDFRenderStateStackTest, StartsWithOneNewStateAndPushesCopies) {
    VXPDFRenderStateStack stack;
    ASSERT_EQ(stack.count(), 1u);
    EXPECT_EQ(stack.topRenderState()->horizontalScaling, 1.0);
    EXPECT_EQ(stack.topRenderState()->fontSize, 0);
    stack.pushRenderState(*stack.topRenderState());
    stack.topRenderState()->characterSpacing = 4;
    EXPECT_EQ(stack.popRenderState().characterSpacing, 4);
    EXPECT_EQ(stack.topRenderState()->characterSpacing, 0) << "the copy was independent";
    stack.popRenderState();
    EXPECT_EQ(stack.topRenderState(), nullptr);
}

}  // namespace
}  // namespace pagewell
