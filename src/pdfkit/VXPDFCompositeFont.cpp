#include "pdfkit/VXPDFCompositeFont.h"

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfStream.h"

namespace pagewell {

namespace {

// A damaged /W may claim ranges of millions of codes; codes are at most two bytes wide in
// practice, and the total is bounded so that a hostile file stays cheap.
constexpr std::int64_t kMaximumCode = 0xFFFF;
constexpr std::size_t kMaximumWidths = 1u << 18;

}  // namespace

void VXPDFCompositeFont::initWithFontDictionary(const PdfDictionary& dictionary) {
    VXPDFFont::initWithFontDictionary(dictionary);
    setEncodingWithFontDictionary(dictionary);
    setFontDescriptorWithFontDictionary(dictionary);
    setCodeSpaceWithFontDictionary(dictionary);
}

void VXPDFCompositeFont::setWidthsWithFontDictionary(const PdfDictionary& dictionary) {
    // The default width is /DW whenever present, also without /W, and 1000 otherwise.
    if (auto defaultWidth = dictionary.getNumber("DW")) {
        defaultWidth_ = *defaultWidth;
        hasDW_ = true;
    }
    auto w = dictionary.getArray("W");
    if (!w)
        return;
    hasW_ = true;
    const std::size_t count = w->count();
    std::size_t i = 0;
    while (i + 1 < count && widths_.size() < kMaximumWidths) {
        auto first = w->getInteger(i);
        if (!first)
            break;
        if (auto list = w->getArray(i + 1)) {
            const std::size_t entries = list->count();
            for (std::size_t j = 0; j < entries && widths_.size() < kMaximumWidths; ++j) {
                std::int64_t code = *first + static_cast<std::int64_t>(j);
                auto width = list->getInteger(j);
                if (width && code >= 0 && code <= kMaximumCode) {
                    widths_[static_cast<std::uint32_t>(code)] = static_cast<double>(*width);
                }
            }
            i += 2;
        } else if (auto last = w->getInteger(i + 1)) {
            auto width = w->getInteger(i + 2);
            if (width) {
                std::int64_t from = std::max<std::int64_t>(*first, 0);
                std::int64_t to = std::min<std::int64_t>(*last, kMaximumCode);
                for (std::int64_t code = from; code <= to && widths_.size() < kMaximumWidths;
                     ++code) {
                    widths_[static_cast<std::uint32_t>(code)] = static_cast<double>(*width);
                }
            }
            i += 3;
        } else {
            break;
        }
    }
}

void VXPDFCompositeFont::setFontDescriptorWithFontDictionary(const PdfDictionary& dictionary) {
    if (auto descendants = dictionary.getArray("DescendantFonts")) {
        auto first = descendants->getDictionary(0);
        auto descriptor = first ? first->getDictionary("FontDescriptor") : std::nullopt;
        descriptor_ =
            descriptor ? VXPDFFontDescriptor::initWithPDFDictionary(*descriptor) : nullptr;
        return;
    }
    VXPDFFont::setFontDescriptorWithFontDictionary(dictionary);
}

void VXPDFCompositeFont::setCodeSpaceWithFontDictionary(const PdfDictionary& dictionary) {
    if (auto name = dictionary.getName("Encoding")) {
        // Identity and the Unicode CMaps (UCS-2, UTF-16 based) use two-byte codes.
        if (*name == "Identity-H" || *name == "Identity-V" ||
            name->find("UCS2") != std::string::npos || name->find("UTF16") != std::string::npos) {
            twoByteCodes_ = true;
            return;
        }
    } else if (auto stream = dictionary.getStream("Encoding")) {
        auto encodingMap = VXPDFCMap::initWithToUnicodeStream(*stream);
        if (!encodingMap.codeSpaceRanges().empty()) {
            codeSpace_ = std::move(encodingMap);
            return;
        }
    }
    if (toUnicode_ && !toUnicode_->codeSpaceRanges().empty()) {
        codeSpace_ = toUnicode_;
    }
}

std::vector<VXPDFGlyph> VXPDFCompositeFont::glyphsWithPDFString(const PdfString& string) const {
    const std::string& bytes = string.bytes();
    std::vector<VXPDFGlyph> glyphs;
    if (encoding_ != VXPDFEncoding::None || (!twoByteCodes_ && !codeSpace_)) {
        // One byte per code; zero bytes are skipped so that two-byte codes with a zero high
        // byte decode through their low byte.
        for (char byte : bytes) {
            auto code = static_cast<std::uint8_t>(byte);
            if (code != 0)
                glyphs.push_back({code, textForCode(code)});
        }
        return glyphs;
    }
    std::size_t position = 0;
    while (position < bytes.size()) {
        std::size_t length = 2;
        if (!twoByteCodes_) {
            length = codeSpace_->codeLengthAt(bytes, position);
            if (length == 0)
                length = 1;  // outside every range: one byte, as readers do
        }
        length = std::min(length, bytes.size() - position);
        std::uint32_t code = 0;
        for (std::size_t i = 0; i < length; ++i) {
            code = (code << 8) | static_cast<std::uint8_t>(bytes[position + i]);
        }
        glyphs.push_back({code, textForCode(code)});
        position += length;
    }
    return glyphs;
}

double VXPDFCompositeFont::widthOfCharacter(std::uint32_t code, double fontSize) const {
    auto found = widths_.find(code);
    return (found != widths_.end() ? found->second : defaultWidth_) * fontSize;
}

std::string VXPDFCompositeFont::widthSource() const {
    if (hasW_)
        return "W";
    if (hasDW_)
        return "DW";
    return "default";
}

}  // namespace pagewell
