#pragma once
// The current drawing style and mode: draw type (0 freehand, 1 marker, 2 ellipse, 3 rectangle,
// 4 text, 5 image), colour, line width, dash pattern (empty: solid), text, alpha, paint mode
// and user interaction. One process-wide instance; main queue only.

#include <string>
#include <vector>

#include "redlining/RedliningColor.h"

namespace pagewell {

class VXRedliningStateManager {
  public:
    static VXRedliningStateManager& getInstance();

    void setCurrentDrawType(int type) { drawType_ = type; }
    int getCurrentDrawType() const { return drawType_; }
    void setCurrentColor(const RedliningColor& color) { color_ = color; }
    const RedliningColor& getCurrentColor() const { return color_; }
    void setCurrentLineWidth(double width) { lineWidth_ = width; }
    double getCurrentLineWidth() const { return lineWidth_; }
    void setCurrentLineDashPattern(std::vector<double> pattern) { dash_ = std::move(pattern); }
    const std::vector<double>& getCurrentLineDashPattern() const { return dash_; }
    void setCurrentText(std::string text) { text_ = std::move(text); }
    const std::string& getCurrentText() const { return text_; }
    void setCurrentAlphaValue(double alpha) { alpha_ = alpha; }
    double getCurrentAlphaValue() const { return alpha_; }
    // Logs "Set Paint Mode to: …".
    void setPaintMode(bool on);
    bool getPaintMode() const { return paintMode_; }
    // Logs "Set User Interaction: …" and posts the enabled or disabled event.
    void setUserInteraction(bool on);
    bool getUserInteraction() const { return userInteraction_; }
    void resetToDefaultState();

    static constexpr const char* kInteractionEnabledEvent =
        "VXRedliningUserinteractionEnabledEvent";
    static constexpr const char* kInteractionDisabledEvent =
        "VXRedliningUserinteractionDisabledEvent";

  private:
    int drawType_ = 0;
    RedliningColor color_ = RedliningColor::redColor();
    double lineWidth_ = 2.0;
    std::vector<double> dash_;
    std::string text_;
    double alpha_ = 1.0;
    bool paintMode_ = false;
    bool userInteraction_ = true;
};

}  // namespace pagewell
