#pragma once
// The metrics of a /FontDescriptor dictionary. Numbers may be written as integers or reals;
// both are read. Immutable after construction.

#include <cstdint>
#include <memory>
#include <string>

#include "pdfkit/PdfRect.h"

namespace pagewell {

class PdfDictionary;

class VXPDFFontDescriptor {
  public:
    // Nullptr unless the dictionary's /Type is FontDescriptor.
    static std::shared_ptr<const VXPDFFontDescriptor> initWithPDFDictionary(
        const PdfDictionary& dictionary);

    double ascent = 0;
    double descent = 0;
    double leading = 0;
    double capHeight = 0;
    double xHeight = 0;
    double averageWidth = 0;
    double maxWidth = 0;
    double missingWidth = 0;
    std::int64_t flags = 0;
    double verticalStemWidth = 0;
    double horizontalStemWidth = 0;
    double italicAngle = 0;
    std::string fontName;
    // Origin (entry 0, entry 1), width entry 2, height entry 3, as written; set only when
    // /FontBBox has exactly four numbers.
    PdfRect boundsRect;

    // Symbolic flag (4) set and non-symbolic flag (32) clear.
    bool isSymbolic() const { return (flags & 4) != 0 && (flags & 32) == 0; }
};

}  // namespace pagewell
