#include "pdfkit/VXPDFType0Font.h"

#include "pdfkit/PdfArray.h"
#include "pdfkit/VXPDFCIDType0Font.h"
#include "pdfkit/VXPDFCIDType2Font.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {
constexpr const char* kUnknownFontTypeMessage = "Unknown Fonttype";
}

void VXPDFType0Font::initWithFontDictionary(const PdfDictionary& dictionary) {
    VXPDFCompositeFont::initWithFontDictionary(dictionary);
    auto descendants = dictionary.getArray("DescendantFonts");
    if (!descendants)
        return;
    const std::size_t count = descendants->count();
    for (std::size_t i = 0; i < count; ++i) {
        auto descendant = descendants->getDictionary(i);
        if (!descendant)
            continue;
        auto subtype = descendant->getName("Subtype");
        if (subtype == "CIDFontType0") {
            std::shared_ptr<VXPDFCIDType0Font> font(new VXPDFCIDType0Font());
            font->initWithFontDictionary(*descendant);
            descendantFonts_.push_back(std::move(font));
        } else if (subtype == "CIDFontType2") {
            std::shared_ptr<VXPDFCIDType2Font> font(new VXPDFCIDType2Font());
            font->initWithFontDictionary(*descendant);
            descendantFonts_.push_back(std::move(font));
        } else {
            PW_LOG_ERROR("{}", kUnknownFontTypeMessage);
        }
    }
}

double VXPDFType0Font::widthOfCharacter(std::uint32_t code, double fontSize) const {
    for (const auto& descendant : descendantFonts_) {
        double width = descendant->widthOfCharacter(code, fontSize);
        if (width > 0)
            return width;
    }
    return defaultWidth_ > 0 ? defaultWidth_ : 0;
}

std::string VXPDFType0Font::widthSource() const {
    return descendantFonts_.empty() ? VXPDFCompositeFont::widthSource()
                                    : descendantFonts_.front()->widthSource();
}

}  // namespace pagewell
