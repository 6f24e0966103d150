#include "pdfkit/VXPDFSelection.h"

#include <utility>

#include "pdfkit/VXPDFFont.h"
#include "pdfkit/VXPDFFontDescriptor.h"
#include "pdfkit/VXPDFType0Font.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

// The font whose vertical metrics describe the glyphs: a Type 0 font's first descendant.
const VXPDFFont* metricsFont(const VXPDFFont* font) {
    if (font == nullptr) {
        return nullptr;
    }
    if (const auto* composite = dynamic_cast<const VXPDFType0Font*>(font)) {
        const auto& descendants = composite->descendantFonts();
        return descendants.empty() ? font : descendants.front().get();
    }
    return font;
}

double fontHeight(const VXPDFFont* font) {
    return font ? font->maxY() - font->minY() : 0.0;
}

double fontDescent(const VXPDFFont* font) {
    if (font == nullptr) {
        return 0.0;
    }
    const auto& descriptor = font->fontDescriptor();
    return descriptor ? descriptor->descent : 0.0;
}

}  // namespace

VXPDFSelection::VXPDFSelection(VXPDFRenderState startState) : startState_(std::move(startState)) {}

void VXPDFSelection::finalizeWithState(const VXPDFRenderState& endState) {
    transform_ = startState_.textMatrix.concat(startState_.ctm);
    const VXPDFFont* startFont = metricsFont(startState_.font.get());
    const VXPDFFont* endFont = metricsFont(endState.font.get());
    const double startHeight = fontHeight(startFont);
    const double endHeight = fontHeight(endFont);
    if (endState.textMatrix.a == 0) {
        rect_ = {};
        return;
    }
    const bool startIsTaller = startHeight > endHeight;
    const VXPDFFont* font = startIsTaller ? startFont : endFont;
    const double fontSize = startIsTaller ? startState_.fontSize : endState.fontSize;
    rect_.x = 0;
    rect_.y = fontDescent(font) / 1000.0 * fontSize;
    rect_.width = (endState.textMatrix.tx - startState_.textMatrix.tx) / endState.textMatrix.a;
    rect_.height = std::max(startHeight, endHeight) / 1000.0 * fontSize;
    if (rect_.height == 0) {
        PW_LOG_ERROR("Height equals 0.0");
    }
}

}  // namespace pagewell
