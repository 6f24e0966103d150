#include "platform/UndoManager.h"

#include <gtest/gtest.h>

namespace pagewell {
namespace {

// A list of numbers whose edits are undoable: "append" is undone by "pop" and back.
class NumberList {
  public:
    explicit NumberList(std::size_t levels) : undo(levels) {
        undo.setPerformer([this](const UndoAction& action) {
            if (action.name == "pop") {
                pop();
            } else {
                append(action.arguments.integerValue());
            }
        });
    }
    void append(std::int64_t value) {
        values.push_back(value);
        undo.registerUndo({"pop", {}});
    }
    void pop() {
        std::int64_t value = values.back();
        values.pop_back();
        undo.registerUndo({"append", value});
    }
    std::vector<std::int64_t> values;
    UndoManager undo;
};

TEST(UndoManagerTest, GroupsUndoAndRedoAsOneStepInReverseOrder) {
    NumberList list(0);
    list.append(1);
    list.undo.beginGroup();
    list.append(2);
    list.append(3);
    list.undo.endGroup();
    EXPECT_EQ(list.undo.undoCount(), 2u);

    ASSERT_TRUE(list.undo.undo());
    EXPECT_EQ(list.values, (std::vector<std::int64_t>{1}));
    EXPECT_TRUE(list.undo.canRedo());
    ASSERT_TRUE(list.undo.redo());
    EXPECT_EQ(list.values, (std::vector<std::int64_t>{1, 2, 3}));
    ASSERT_TRUE(list.undo.undo());
    ASSERT_TRUE(list.undo.undo());
    EXPECT_TRUE(list.values.empty());
    EXPECT_FALSE(list.undo.undo());
    EXPECT_EQ(list.undo.redoCount(), 2u);

    // A new action after undoing drops what could have been redone.
    list.append(9);
    EXPECT_FALSE(list.undo.canRedo());
}

TEST(UndoManagerTest, KeepsAtMostTheLevelLimitDroppingTheOldest) {
    NumberList list(50);
    for (int i = 0; i < 51; ++i) {
        list.append(i);
    }
    EXPECT_EQ(list.undo.undoCount(), 50u);
    while (list.undo.undo()) {
    }
    EXPECT_EQ(list.values, (std::vector<std::int64_t>{0}));
}

TEST(UndoManagerTest, ReportsUndoingAndRedoingToThePerformer) {
    UndoManager undo;
    std::vector<std::string> seen;
    undo.setPerformer([&](const UndoAction& action) {
        seen.push_back(action.name + (undo.isUndoing() ? ":undoing" : "") +
                       (undo.isRedoing() ? ":redoing" : ""));
        undo.registerUndo({action.name, {}});
    });
    undo.registerUndo({"a", {}});
    undo.undo();
    undo.redo();
    EXPECT_EQ(seen, (std::vector<std::string>{"a:undoing", "a:redoing"}));
    EXPECT_FALSE(undo.isUndoing() || undo.isRedoing());
}

TEST(UndoManagerTest, HistoryRoundTripsAndRejectsDamage) {
    NumberList list(0);
    list.append(4);
    list.append(5);
    list.undo.undo();
    NumberList restored(0);
    restored.values = {4};
    ASSERT_TRUE(restored.undo.restoreHistory(list.undo.history()).ok());
    EXPECT_EQ(restored.undo.history(), list.undo.history());
    restored.undo.redo();
    EXPECT_EQ(restored.values, (std::vector<std::int64_t>{4, 5}));

    EXPECT_FALSE(restored.undo.restoreHistory(PlistDict{{"undo", 3}}).ok());
    EXPECT_FALSE(
        restored.undo
            .restoreHistory(PlistDict{{"undo", PlistArray{PlistArray{}}}, {"redo", PlistArray{}}})
            .ok());
    EXPECT_EQ(restored.undo.undoCount(), 2u);  // unchanged by the failed restores
}

}  // namespace
}  // namespace pagewell
