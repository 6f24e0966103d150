#pragma once
// A simple font of /Subtype /Type1.

#include "pdfkit/VXPDFSimpleFont.h"

namespace pagewell {

class VXPDFType1Font final : public VXPDFSimpleFont {
  public:
    const char* className() const override { return "VXPDFType1Font"; }

  private:
    friend class VXPDFFont;
    VXPDFType1Font() = default;
};

}  // namespace pagewell
