#include "pdfkit/VXPDFSimpleFont.h"

#include "pdfkit/PdfArray.h"

namespace pagewell {

void VXPDFSimpleFont::initWithFontDictionary(const PdfDictionary& dictionary) {
    VXPDFFont::initWithFontDictionary(dictionary);
    setEncodingWithFontDictionary(dictionary);
}

void VXPDFSimpleFont::setWidthsWithFontDictionary(const PdfDictionary& dictionary) {
    auto widths = dictionary.getArray("Widths");
    auto firstChar = dictionary.getInteger("FirstChar");
    if (!widths || !firstChar || *firstChar < 0 || *firstChar > 0xFFFF)
        return;
    hasWidthsArray_ = true;
    const std::size_t count = std::min<std::size_t>(widths->count(), 0x10000);
    for (std::size_t i = 0; i < count; ++i) {
        if (auto width = widths->getNumber(i)) {
            widths_[static_cast<std::uint32_t>(*firstChar + static_cast<std::int64_t>(i))] = *width;
        }
    }
}

std::string VXPDFSimpleFont::widthSource() const {
    if (hasWidthsArray_)
        return "Widths";
    if (descriptor_ && (descriptor_->missingWidth != 0 || descriptor_->averageWidth != 0)) {
        return "descriptor";
    }
    return "none";
}

}  // namespace pagewell
