#pragma once
// A Type 0 font: a composite font whose widths and descriptor come from its descendant fonts.

#include "pdfkit/VXPDFCompositeFont.h"

namespace pagewell {

class VXPDFType0Font final : public VXPDFCompositeFont {
  public:
    const char* className() const override { return "VXPDFType0Font"; }
    // The first descendant's answer greater than 0; else the own default width (not scaled);
    // else 0.
    double widthOfCharacter(std::uint32_t code, double fontSize) const override;
    std::string widthSource() const override;

    const std::vector<std::shared_ptr<const VXPDFCompositeFont>>& descendantFonts() const {
        return descendantFonts_;
    }

  private:
    friend class VXPDFFont;
    VXPDFType0Font() = default;
    void initWithFontDictionary(const PdfDictionary& dictionary) override;

    std::vector<std::shared_ptr<const VXPDFCompositeFont>> descendantFonts_;
};

}  // namespace pagewell
