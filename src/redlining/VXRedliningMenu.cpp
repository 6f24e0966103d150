#include "redlining/VXRedliningMenu.h"

#include "platform/Presenter.h"
#include "redlining/RedliningLanguageSwitcher.h"
#include "redlining/VXRedliningObjectManager.h"
#include "redlining/VXRedliningStateManager.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {

namespace {
constexpr int kMarker = 1;
}

VXRedliningMenu::VXRedliningMenu(VXRedliningObjectManager& manager, VXRedliningStateManager& state)
    : manager_(manager), state_(state) {}

void VXRedliningMenu::setPaintMode(bool on) {
    if (state_.getPaintMode() != on) {
        manager_.deselectAllRedliningObjects();
    }
    state_.setPaintMode(on);
}

void VXRedliningMenu::chooseTool(int drawType) {
    setPaintMode(true);
    if (drawType == kMarker) {
        state_.setCurrentLineWidth(14.0);
        state_.setCurrentAlphaValue(0.4);
    } else if (state_.getCurrentDrawType() == kMarker) {
        state_.setCurrentLineWidth(2.0);
        state_.setCurrentAlphaValue(1.0);
    }
    state_.setCurrentDrawType(drawType);
}

void VXRedliningMenu::chooseColor(const RedliningColor& color) {
    state_.setCurrentColor(color);
    for (const auto& object : manager_.getSelectedObjects()) {
        manager_.setLineColor(object, color);
    }
    if (!manager_.getSelectedObjects().empty()) {
        manager_.setRedliningHasChanges(true);
    }
}

void VXRedliningMenu::chooseLineStyle(double width, double alpha,
                                      const std::vector<double>& dashPattern) {
    state_.setCurrentLineWidth(width);
    state_.setCurrentAlphaValue(alpha);
    state_.setCurrentLineDashPattern(dashPattern);
    for (const auto& object : manager_.getSelectedObjects()) {
        manager_.setLineWidth(object, width);
        manager_.setLineAlpha(object, alpha);
        manager_.setLineDashPattern(object, dashPattern);
    }
    if (!manager_.getSelectedObjects().empty()) {
        manager_.setRedliningHasChanges(true);
    }
}

void VXRedliningMenu::deleteSelection() {
    auto selected = manager_.getSelectedObjects();
    if (selected.empty()) {
        return;
    }
    manager_.undoManager().beginGroup();
    for (const auto& object : selected) {
        manager_.removeRedliningObject(object, object->page());
    }
    manager_.undoManager().endGroup();
    manager_.setRedliningHasChanges(true);
}

void VXRedliningMenu::deleteAll(Presenter& presenter, std::function<void(bool)> done) {
    Alert alert;
    alert.title = RedliningLanguageSwitcher::get("Redlining", "Redlining");
    alert.message = RedliningLanguageSwitcher::get(
        "DELETE_ALL_REDLINING",
        "Do you really want to remove ALL redlining objects from this document?");
    alert.cancelButtonTitle = RedliningLanguageSwitcher::get("NO", "NO");
    alert.otherButtonTitles = {RedliningLanguageSwitcher::get("YES", "YES")};
    int yes = alert.firstOtherButtonIndex();
    presenter.showAlert(alert, [this, yes, done = std::move(done)](int button) {
        bool removed = button == yes;
        if (removed) {
            manager_.removeAllRedliningObjects();
            manager_.setRedliningHasChanges(true);
        }
        if (done) {
            done(removed);
        }
    });
}

bool VXRedliningMenu::undo() {
    if (!manager_.undoManager().undo()) {
        return false;
    }
    manager_.setRedliningHasChanges(true);
    return true;
}

bool VXRedliningMenu::redo() {
    if (!manager_.undoManager().redo()) {
        return false;
    }
    manager_.setRedliningHasChanges(true);
    return true;
}

void VXRedliningMenu::toggleHidden() {
    if (manager_.areRedliningObjectsHidden()) {
        manager_.showRedliningObjects();
    } else {
        manager_.hideRedliningObjects();
    }
}

void VXRedliningMenu::pointer() {
    setPaintMode(false);
    state_.setUserInteraction(true);
}

void VXRedliningMenu::close() {
    pointer();
}

}  // namespace pagewell
