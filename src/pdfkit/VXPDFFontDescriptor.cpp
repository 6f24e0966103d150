#include "pdfkit/VXPDFFontDescriptor.h"

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfDictionary.h"

namespace pagewell {

std::shared_ptr<const VXPDFFontDescriptor> VXPDFFontDescriptor::initWithPDFDictionary(
    const PdfDictionary& dictionary) {
    if (dictionary.getName("Type") != "FontDescriptor")
        return nullptr;
    auto descriptor = std::make_shared<VXPDFFontDescriptor>();
    // Metrics are numbers: many producers write reals (/Descent -212.5), and reading them as
    // integers would leave 0 and give highlight boxes without height.
    auto number = [&](const char* key) { return dictionary.getNumber(key).value_or(0.0); };
    descriptor->ascent = number("Ascent");
    descriptor->descent = number("Descent");
    descriptor->leading = number("Leading");
    descriptor->capHeight = number("CapHeight");
    descriptor->xHeight = number("XHeight");
    descriptor->averageWidth = number("AvgWidth");
    descriptor->maxWidth = number("MaxWidth");
    descriptor->missingWidth = number("MissingWidth");
    descriptor->flags = dictionary.getInteger("Flags").value_or(0);
    descriptor->verticalStemWidth = number("StemV");
    descriptor->horizontalStemWidth = number("StemH");
    descriptor->italicAngle = number("ItalicAngle");
    descriptor->fontName = dictionary.getName("FontName").value_or("");
    if (auto box = dictionary.getArray("FontBBox"); box && box->count() == 4) {
        descriptor->boundsRect =
            PdfRect{box->getNumber(0).value_or(0), box->getNumber(1).value_or(0),
                    box->getNumber(2).value_or(0), box->getNumber(3).value_or(0)};
    }
    return descriptor;
}

}  // namespace pagewell
