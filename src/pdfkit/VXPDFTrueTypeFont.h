#pragma once
// A simple font of /Subtype /TrueType.

#include "pdfkit/VXPDFSimpleFont.h"

namespace pagewell {

class VXPDFTrueTypeFont final : public VXPDFSimpleFont {
  public:
    const char* className() const override { return "VXPDFTrueTypeFont"; }

  private:
    friend class VXPDFFont;
    VXPDFTrueTypeFont() = default;
};

}  // namespace pagewell
