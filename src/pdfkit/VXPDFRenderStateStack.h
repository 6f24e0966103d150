#pragma once
// The graphics-state stack of a page scan (q pushes a copy of the top, Q pops it). It starts
// with one new state; a Q that pops the last one leaves the stack empty, and the scan then
// has no current state for the rest of the page.

#include <vector>

#include "pdfkit/VXPDFRenderState.h"

namespace pagewell {

class VXPDFRenderStateStack {
  public:
    VXPDFRenderStateStack() : states_(1) {}

    // The current state, or nullptr when the stack is empty.
    VXPDFRenderState* topRenderState() { return states_.empty() ? nullptr : &states_.back(); }
    const VXPDFRenderState* topRenderState() const {
        return states_.empty() ? nullptr : &states_.back();
    }
    void pushRenderState(const VXPDFRenderState& state) { states_.push_back(state); }
    // Removes and returns the top state; a new state when the stack was already empty.
    VXPDFRenderState popRenderState() {
        if (states_.empty()) {
            return {};
        }
        VXPDFRenderState top = std::move(states_.back());
        states_.pop_back();
        return top;
    }
    std::size_t count() const { return states_.size(); }
    // Drops states above `depth` (used to restore the stack after a form object).
    void truncate(std::size_t depth) {
        if (states_.size() > depth) {
            states_.resize(depth);
        }
    }

  private:
    std::vector<VXPDFRenderState> states_;
};

}  // namespace pagewell
