#pragma once
// A single-byte font: widths from /Widths and /FirstChar, one code per byte, decoded through
// the font's encoding when it names one, else its /ToUnicode map.

#include "pdfkit/VXPDFFont.h"

namespace pagewell {

class VXPDFSimpleFont : public VXPDFFont {
  public:
    std::string widthSource() const override;

  protected:
    void initWithFontDictionary(const PdfDictionary& dictionary) override;
    void setWidthsWithFontDictionary(const PdfDictionary& dictionary) override;

    bool hasWidthsArray_ = false;
};

}  // namespace pagewell
