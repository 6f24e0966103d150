#pragma once
// Private to the PDF engine's .cpp files: the library types behind the engine's handles.
// Nothing outside src/pdfkit includes this header.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <string>

#include "pdfkit/PdfObject.h"

namespace pagewell {

struct QpdfDocument {
    std::string data;  // the file bytes of a document opened from memory; declared first
    QPDF pdf;
};

struct QpdfObjectRef {
    std::shared_ptr<QpdfDocument> owner;  // keeps indirect references resolvable
    QPDFObjectHandle handle;
};

// Wraps a library object; a null or uninitialised handle gives a Null PdfObject.
PdfObject wrapQpdfObject(const std::shared_ptr<QpdfDocument>& owner, QPDFObjectHandle handle);
// The library object behind a handle (a null object for a Null handle).
QPDFObjectHandle unwrapQpdfObject(const PdfObject& object);
// The owning document of a handle, or nullptr.
std::shared_ptr<QpdfDocument> ownerOf(const PdfObject& object);

}  // namespace pagewell
