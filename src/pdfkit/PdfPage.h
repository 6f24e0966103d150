#pragma once
// One page of an open document: its dictionary, boxes, rotation and resources, with the
// attributes a page inherits from its parents in the page tree (/Resources, /MediaBox,
// /CropBox, /Rotate) resolved. Threading: see PdfDocumentHandle.

#include <memory>
#include <optional>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/PdfStream.h"

namespace pagewell {

class PdfDocumentHandle;

enum class PdfBox { Media, Crop };

class PdfPage {
  public:
    PdfPage(std::shared_ptr<const PdfDocumentHandle> document, int pageNumber,
            PdfDictionary dictionary);

    int pageNumber() const { return pageNumber_; }
    const PdfDictionary& dictionary() const { return dictionary_; }
    const std::shared_ptr<const PdfDocumentHandle>& document() const { return document_; }

    // The box normalised from its corners. A missing crop box is the media box; a missing or
    // broken media box is US Letter (0 0 612 792).
    PdfRect boxRect(PdfBox box) const;
    // /Rotate in degrees as written (inherited when absent): a multiple of 90 that may be
    // negative or above 359; 0 when absent or not a multiple of 90.
    int rotationAngle() const;
    // /Resources of the page, or of the nearest parent that has them.
    std::optional<PdfDictionary> resources() const;
    // An inheritable attribute of the page or its nearest parent that has it.
    std::optional<PdfObject> inheritedAttribute(std::string_view key) const;

    // The page content, all content streams decoded and joined with a newline between them.
    Result<std::string> contentData() const;

  private:
    std::shared_ptr<const PdfDocumentHandle> document_;
    int pageNumber_;
    PdfDictionary dictionary_;
};

}  // namespace pagewell
