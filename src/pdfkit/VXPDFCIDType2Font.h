#pragma once
// A CID-keyed descendant font of /Subtype /CIDFontType2.

#include "pdfkit/VXPDFCompositeFont.h"

namespace pagewell {

class VXPDFCIDType2Font final : public VXPDFCompositeFont {
  public:
    const char* className() const override { return "VXPDFCIDType2Font"; }

  private:
    friend class VXPDFFont;
    friend class VXPDFType0Font;
    VXPDFCIDType2Font() = default;
};

}  // namespace pagewell
