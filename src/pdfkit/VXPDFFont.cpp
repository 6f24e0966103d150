#include "pdfkit/VXPDFFont.h"

#include "pdfkit/PdfStream.h"
#include "pdfkit/VXPDFCIDType0Font.h"
#include "pdfkit/VXPDFCIDType2Font.h"
#include "pdfkit/VXPDFMMType1Font.h"
#include "pdfkit/VXPDFTrueTypeFont.h"
#include "pdfkit/VXPDFType0Font.h"
#include "pdfkit/VXPDFType1Font.h"
#include "pdfkit/VXPDFType3Font.h"

namespace pagewell {

std::shared_ptr<const VXPDFFont> VXPDFFont::fontWithDictionary(const PdfDictionary& dictionary) {
    if (dictionary.getName("Type") != "Font")
        return nullptr;
    auto subtype = dictionary.getName("Subtype");
    if (!subtype)
        return nullptr;
    // The constructors are private to the tree (friends of this class), out of make_shared's
    // reach; each object goes straight into its owning pointer.
    std::shared_ptr<VXPDFFont> font;
    if (*subtype == "Type1")
        font.reset(new VXPDFType1Font());
    else if (*subtype == "MMType1")
        font.reset(new VXPDFMMType1Font());
    else if (*subtype == "Type3")
        font.reset(new VXPDFType3Font());
    else if (*subtype == "TrueType")
        font.reset(new VXPDFTrueTypeFont());
    else if (*subtype == "Type0")
        font.reset(new VXPDFType0Font());
    else if (*subtype == "CIDFontType0")
        font.reset(new VXPDFCIDType0Font());
    else if (*subtype == "CIDFontType2")
        font.reset(new VXPDFCIDType2Font());
    else
        return nullptr;
    font->initWithFontDictionary(dictionary);
    return font;
}

void VXPDFFont::initWithFontDictionary(const PdfDictionary& dictionary) {
    baseFont_ = dictionary.getName("BaseFont").value_or("");
    setWidthsWithFontDictionary(dictionary);
    setFontDescriptorWithFontDictionary(dictionary);
    setToUnicodeWithFontDictionary(dictionary);
}

void VXPDFFont::setFontDescriptorWithFontDictionary(const PdfDictionary& dictionary) {
    auto descriptor = dictionary.getDictionary("FontDescriptor");
    descriptor_ = descriptor ? VXPDFFontDescriptor::initWithPDFDictionary(*descriptor) : nullptr;
}

void VXPDFFont::setToUnicodeWithFontDictionary(const PdfDictionary& dictionary) {
    if (auto stream = dictionary.getStream("ToUnicode")) {
        toUnicode_ = VXPDFCMap::initWithToUnicodeStream(*stream);
    }
}

void VXPDFFont::setEncodingWithFontDictionary(const PdfDictionary& dictionary) {
    if (auto encoding = dictionary.getObject("Encoding")) {
        setEncodingWithEncodingObject(*encoding);
    }
}

void VXPDFFont::setEncodingWithEncodingObject(const PdfObject& encoding) {
    std::optional<std::string> name = encoding.getName();
    if (!name) {
        // An encoding dictionary counts by its base encoding; /Differences are not read.
        if (auto dictionary = encoding.getDictionary())
            name = dictionary->getName("BaseEncoding");
    }
    if (!name)
        return;
    if (*name == "MacRomanEncoding" || *name == "MacExpertEncoding") {
        encoding_ = VXPDFEncoding::MacOSRoman;
    } else if (*name == "WinAnsiEncoding") {
        encoding_ = VXPDFEncoding::WindowsLatin1;
    }
}

std::u16string VXPDFFont::textForCode(std::uint32_t code) const {
    if (encoding_ != VXPDFEncoding::None && code <= 0xFF) {
        return std::u16string(
            1, VXPDFTextEncoding::characterForByte(encoding_, static_cast<std::uint8_t>(code)));
    }
    if (toUnicode_) {
        return toUnicode_->textWithCID(code).value_or(std::u16string(1, u'\0'));
    }
    return std::u16string(1, static_cast<char16_t>(code));
}

std::vector<VXPDFGlyph> VXPDFFont::glyphsWithPDFString(const PdfString& string) const {
    std::vector<VXPDFGlyph> glyphs;
    glyphs.reserve(string.length());
    for (char byte : string.bytes()) {
        auto code = static_cast<std::uint8_t>(byte);
        glyphs.push_back({code, textForCode(code)});
    }
    return glyphs;
}

std::u16string VXPDFFont::stringWithPDFString(const PdfString& string) const {
    std::u16string text;
    for (const auto& glyph : glyphsWithPDFString(string))
        text += glyph.text;
    return text;
}

double VXPDFFont::widthOfCharacter(std::uint32_t code, double fontSize) const {
    double width = 0;
    if (auto found = widths_.find(code); found != widths_.end()) {
        width = found->second;
    } else if (descriptor_) {
        width =
            descriptor_->missingWidth != 0 ? descriptor_->missingWidth : descriptor_->averageWidth;
    }
    return width * fontSize;
}

double VXPDFFont::minY() const {
    return descriptor_ ? descriptor_->descent : 0;
}

double VXPDFFont::maxY() const {
    return descriptor_ ? descriptor_->ascent : 0;
}

std::string VXPDFFont::widthSource() const {
    return "none";
}

const std::map<char16_t, std::u16string>& VXPDFFont::ligatures() {
    static const std::map<char16_t, std::u16string> map{{u'\uFB00', u"ff"},
                                                        {u'\uFB01', u"fi"},
                                                        {u'\uFB02', u"fl"},
                                                        {u'\u00E6', u"ae"},
                                                        {u'\u0153', u"oe"}};
    return map;
}

}  // namespace pagewell
