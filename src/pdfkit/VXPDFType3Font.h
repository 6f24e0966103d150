#pragma once
// A simple font of /Subtype /Type3.

#include "pdfkit/VXPDFSimpleFont.h"

namespace pagewell {

class VXPDFType3Font final : public VXPDFSimpleFont {
  public:
    const char* className() const override { return "VXPDFType3Font"; }

  private:
    friend class VXPDFFont;
    VXPDFType3Font() = default;
};

}  // namespace pagewell
