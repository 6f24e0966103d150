#pragma once
// Undo and redo of user actions. An action is data (a name and property-list arguments), so the
// history can be written to a file and read back; the owner applies actions through its
// performer. Actions registered between beginGroup() and endGroup() form one step, undone and
// redone together (a user event that changes several objects is one step); an action
// registered outside a group is a step of its own.
// While a step is undone, the actions the performer registers form the redo step; while one is
// redone, they form the undo step again. Registering anything else clears the redo steps.
// At most `levels` undo steps are kept (0: no limit); the oldest is dropped first.
// Not thread-safe: used on the main queue only.

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/PropertyList.h"

namespace pagewell {

struct UndoAction {
    std::string name;
    PlistValue arguments;
    bool operator==(const UndoAction&) const = default;
};

class UndoManager {
  public:
    using Performer = std::function<void(const UndoAction&)>;
    using Step = std::vector<UndoAction>;

    explicit UndoManager(std::size_t levels = 0);

    void setPerformer(Performer performer) { performer_ = std::move(performer); }
    void setLevelsOfUndo(std::size_t levels);
    std::size_t levelsOfUndo() const { return levels_; }

    void beginGroup();
    void endGroup();
    void registerUndo(UndoAction action);

    bool canUndo() const { return !undoSteps_.empty(); }
    bool canRedo() const { return !redoSteps_.empty(); }
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }
    std::size_t undoCount() const { return undoSteps_.size(); }
    std::size_t redoCount() const { return redoSteps_.size(); }

    // Each returns false when there was no step to take.
    bool undo();
    bool redo();
    void removeAllActions();

    // {"undo": [step...], "redo": [step...]}, a step being [{"name", "arguments"}...].
    PlistValue history() const;
    // Replaces both stacks; an error, and nothing changed, when the value is not a history.
    Status restoreHistory(const PlistValue& history);

    static constexpr const char* kErrorDomain = "UndoManagerErrorDomain";

  private:
    void pushUndo(Step step);
    bool replay(std::deque<Step>& from, bool undoing);

    Performer performer_;
    std::size_t levels_;
    std::deque<Step> undoSteps_;
    std::deque<Step> redoSteps_;
    Step openStep_;
    int groupDepth_ = 0;
    bool undoing_ = false;
    bool redoing_ = false;
    std::vector<UndoAction>* capture_ = nullptr;  // inverse actions of the step being replayed
};

}  // namespace pagewell
