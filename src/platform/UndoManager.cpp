#include "platform/UndoManager.h"

namespace pagewell {

namespace {

PlistValue stepsToPlist(const std::deque<UndoManager::Step>& steps) {
    PlistArray list;
    list.reserve(steps.size());
    for (const auto& step : steps) {
        PlistArray actions;
        for (const auto& action : step) {
            PlistDict entry;
            entry["name"] = PlistValue(action.name);
            entry["arguments"] = action.arguments;
            actions.emplace_back(std::move(entry));
        }
        list.emplace_back(std::move(actions));
    }
    return list;
}

bool stepsFromPlist(const PlistValue* value, std::deque<UndoManager::Step>& steps) {
    if (value == nullptr || !value->isArray()) {
        return false;
    }
    for (const auto& stepValue : *value->array()) {
        if (!stepValue.isArray() || stepValue.array()->empty()) {
            return false;
        }
        UndoManager::Step step;
        for (const auto& actionValue : *stepValue.array()) {
            const PlistValue* name = actionValue.find("name");
            if (name == nullptr || !name->isString()) {
                return false;
            }
            const PlistValue* arguments = actionValue.find("arguments");
            step.push_back({name->stringValue(), arguments ? *arguments : PlistValue()});
        }
        steps.push_back(std::move(step));
    }
    return true;
}

}  // namespace

UndoManager::UndoManager(std::size_t levels) : levels_(levels) {}

void UndoManager::setLevelsOfUndo(std::size_t levels) {
    levels_ = levels;
    while (levels_ != 0 && undoSteps_.size() > levels_) {
        undoSteps_.pop_front();
    }
}

void UndoManager::beginGroup() {
    ++groupDepth_;
}

void UndoManager::endGroup() {
    if (groupDepth_ == 0) {
        return;
    }
    if (--groupDepth_ == 0 && !openStep_.empty()) {
        pushUndo(std::move(openStep_));
        openStep_.clear();
    }
}

void UndoManager::registerUndo(UndoAction action) {
    if (capture_ != nullptr) {
        capture_->push_back(std::move(action));
        return;
    }
    redoSteps_.clear();
    if (groupDepth_ > 0) {
        openStep_.push_back(std::move(action));
    } else {
        pushUndo(Step{std::move(action)});
    }
}

void UndoManager::pushUndo(Step step) {
    undoSteps_.push_back(std::move(step));
    if (levels_ != 0 && undoSteps_.size() > levels_) {
        undoSteps_.pop_front();
    }
}

bool UndoManager::replay(std::deque<Step>& from, bool undoing) {
    if (from.empty() || capture_ != nullptr) {
        return false;
    }
    Step step = std::move(from.back());
    from.pop_back();
    Step inverse;
    capture_ = &inverse;
    undoing_ = undoing;
    redoing_ = !undoing;
    // The actions of a step were registered in the order things happened; undo them backwards.
    for (auto it = step.rbegin(); it != step.rend(); ++it) {
        if (performer_) {
            performer_(*it);
        }
    }
    capture_ = nullptr;
    undoing_ = false;
    redoing_ = false;
    if (!inverse.empty()) {
        if (undoing) {
            redoSteps_.push_back(std::move(inverse));
        } else {
            pushUndo(std::move(inverse));
        }
    }
    return true;
}

bool UndoManager::undo() {
    return replay(undoSteps_, true);
}

bool UndoManager::redo() {
    return replay(redoSteps_, false);
}

void UndoManager::removeAllActions() {
    undoSteps_.clear();
    redoSteps_.clear();
    openStep_.clear();
}

PlistValue UndoManager::history() const {
    PlistDict history;
    history["undo"] = stepsToPlist(undoSteps_);
    history["redo"] = stepsToPlist(redoSteps_);
    return PlistValue(std::move(history));
}

Status UndoManager::restoreHistory(const PlistValue& history) {
    std::deque<Step> undoSteps;
    std::deque<Step> redoSteps;
    if (!stepsFromPlist(history.find("undo"), undoSteps) ||
        !stepsFromPlist(history.find("redo"), redoSteps)) {
        return Error::make(kErrorDomain, 1, "The undo history is damaged");
    }
    undoSteps_ = std::move(undoSteps);
    redoSteps_ = std::move(redoSteps);
    openStep_.clear();
    setLevelsOfUndo(levels_);
    return {};
}

}  // namespace pagewell
