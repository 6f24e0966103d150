#pragma once
// A PDF stream: its dictionary and its decoded data. Threading: see PdfObject.

#include <string>

#include "pdfkit/PdfDictionary.h"
#include "platform/Error.h"

namespace pagewell {

inline constexpr const char* kPdfErrorDomain = "PDFKit";

class PdfStream {
  public:
    PdfStream() = default;
    explicit PdfStream(PdfObject object) : object_(std::move(object)) {}

    PdfDictionary dictionary() const;

    // The stream bytes with every filter the library knows applied. An error when the data
    // cannot be read or decoded.
    Result<std::string> copyData() const;

    const PdfObject& object() const { return object_; }

  private:
    PdfObject object_;
};

}  // namespace pagewell
