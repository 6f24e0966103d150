#pragma once
// A composite (CID-keyed) font: widths from /W with /DW as the default (1000 when absent),
// the descriptor of the first descendant, and codes of one or more bytes as the encoding
// CMap's code space says (two bytes for Identity-H / Identity-V).

#include "pdfkit/VXPDFFont.h"

namespace pagewell {

class VXPDFCompositeFont : public VXPDFFont {
  public:
    std::vector<VXPDFGlyph> glyphsWithPDFString(const PdfString& string) const override;
    double widthOfCharacter(std::uint32_t code, double fontSize) const override;
    std::string widthSource() const override;

    double defaultWidth() const { return defaultWidth_; }

  protected:
    void initWithFontDictionary(const PdfDictionary& dictionary) override;
    void setWidthsWithFontDictionary(const PdfDictionary& dictionary) override;
    void setFontDescriptorWithFontDictionary(const PdfDictionary& dictionary) override;
    // Reads the code space from /Encoding (a CMap name or stream), else from /ToUnicode.
    void setCodeSpaceWithFontDictionary(const PdfDictionary& dictionary);

    double defaultWidth_ = 1000;
    bool hasW_ = false;
    bool hasDW_ = false;
    bool twoByteCodes_ = false;           // Identity-H/V and other fixed two-byte CMaps
    std::optional<VXPDFCMap> codeSpace_;  // an embedded or ToUnicode code space
};

}  // namespace pagewell
