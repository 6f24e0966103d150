#pragma once
// The drawing menu's logic, for any front end: tools (the marker brings a wide, translucent
// line and leaving it the normal one back), colour and line style for what comes next and for
// the selection, delete, delete all (asked first), undo, redo, hide/show, the pointer and
// closing. Every change of the drawings marks them changed. Main queue only.

#include <functional>
#include <vector>

#include "redlining/RedliningColor.h"

namespace pagewell {

class Presenter;
class VXRedliningObjectManager;
class VXRedliningStateManager;

class VXRedliningMenu {
  public:
    VXRedliningMenu(VXRedliningObjectManager& manager, VXRedliningStateManager& state);

    // 0 freehand, 1 marker, 2 ellipse, 3 rectangle, 4 text, 5 image: paint mode on.
    void chooseTool(int drawType);
    void chooseColor(const RedliningColor& color);
    void chooseLineStyle(double width, double alpha, const std::vector<double>& dashPattern);
    void deleteSelection();
    // Asks "DELETE_ALL_REDLINING"; `done(true)` when everything was removed.
    void deleteAll(Presenter& presenter, std::function<void(bool)> done);
    bool undo();
    bool redo();
    void toggleHidden();
    void pointer();
    void close();

  private:
    void setPaintMode(bool on);

    VXRedliningObjectManager& manager_;
    VXRedliningStateManager& state_;
};

}  // namespace pagewell
