#pragma once
// A CID-keyed descendant font of /Subtype /CIDFontType0.

#include "pdfkit/VXPDFCompositeFont.h"

namespace pagewell {

class VXPDFCIDType0Font final : public VXPDFCompositeFont {
  public:
    const char* className() const override { return "VXPDFCIDType0Font"; }

  private:
    friend class VXPDFFont;
    friend class VXPDFType0Font;
    VXPDFCIDType0Font() = default;
};

}  // namespace pagewell
