#pragma once
// A font of a page's resources, as text search needs it: the text each shown string stands
// for, the advance width of each character code, and the vertical extent for highlight boxes.
// Glyphs are not rendered and embedded font programs are not read.
//
// Class tree: VXPDFSimpleFont (Type1, MMType1, Type3, TrueType) and VXPDFCompositeFont
// (Type0 with its CIDFontType0 / CIDFontType2 descendants). Fonts are immutable once made and
// may be shared between threads.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/VXPDFCMap.h"
#include "pdfkit/VXPDFFontDescriptor.h"
#include "pdfkit/VXPDFTextEncoding.h"

namespace pagewell {

// One character code of a shown string and the text it stands for (may be empty or longer
// than one unit, e.g. "ffi" for a ligature glyph).
struct VXPDFGlyph {
    std::uint32_t code = 0;
    std::u16string text;

    bool operator==(const VXPDFGlyph&) const = default;
};

class VXPDFFont {
  public:
    virtual ~VXPDFFont() = default;
    VXPDFFont(const VXPDFFont&) = delete;
    VXPDFFont& operator=(const VXPDFFont&) = delete;

    // The font for a /Type /Font dictionary by its /Subtype; nullptr for any other dictionary.
    static std::shared_ptr<const VXPDFFont> fontWithDictionary(const PdfDictionary& dictionary);

    // "VXPDFType1Font", "VXPDFType0Font", ...
    virtual const char* className() const = 0;
    const std::string& baseFont() const { return baseFont_; }

    // The codes of a shown string with their text, in order.
    virtual std::vector<VXPDFGlyph> glyphsWithPDFString(const PdfString& string) const;
    // The text of a shown string: the glyphs' texts joined.
    std::u16string stringWithPDFString(const PdfString& string) const;
    // Advance of a code in glyph units (thousandths of the size) times the size.
    virtual double widthOfCharacter(std::uint32_t code, double fontSize) const;

    double widthOfSpace() const { return widthOfCharacter(32, 1.0); }
    // The descriptor's descent and ascent; 0 without descriptor.
    double minY() const;
    double maxY() const;

    const std::shared_ptr<const VXPDFFontDescriptor>& fontDescriptor() const { return descriptor_; }
    const std::map<std::uint32_t, double>& widths() const { return widths_; }
    const VXPDFCMap* toUnicode() const { return toUnicode_ ? &*toUnicode_ : nullptr; }
    VXPDFEncoding encoding() const { return encoding_; }
    // Where widths come from: "Widths", "W", "DW", "default", "descriptor" or "none".
    virtual std::string widthSource() const;

    // Ligature characters and the letters they stand for (ff, fi, fl, ae, oe).
    static const std::map<char16_t, std::u16string>& ligatures();

  protected:
    VXPDFFont() = default;

    // Construction steps, in this order: widths, descriptor, character map, then the
    // subclass's own steps.
    virtual void initWithFontDictionary(const PdfDictionary& dictionary);
    virtual void setWidthsWithFontDictionary(const PdfDictionary& dictionary) = 0;
    virtual void setFontDescriptorWithFontDictionary(const PdfDictionary& dictionary);
    void setToUnicodeWithFontDictionary(const PdfDictionary& dictionary);
    void setEncodingWithFontDictionary(const PdfDictionary& dictionary);
    void setEncodingWithEncodingObject(const PdfObject& encoding);

    // Text for one code through the encoding or the character map (U+0000 when unmapped),
    // else the character with the code's value.
    std::u16string textForCode(std::uint32_t code) const;

    std::shared_ptr<const VXPDFFontDescriptor> descriptor_;
    std::map<std::uint32_t, double> widths_;
    std::optional<VXPDFCMap> toUnicode_;
    VXPDFEncoding encoding_ = VXPDFEncoding::None;
    std::string baseFont_;
};

}  // namespace pagewell
