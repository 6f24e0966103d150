#pragma once
// A simple font of /Subtype /MMType1.

#include "pdfkit/VXPDFSimpleFont.h"

namespace pagewell {

class VXPDFMMType1Font final : public VXPDFSimpleFont {
  public:
    const char* className() const override { return "VXPDFMMType1Font"; }

  private:
    friend class VXPDFFont;
    VXPDFMMType1Font() = default;
};

}  // namespace pagewell
