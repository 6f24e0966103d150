#include "pdfkit/PdfStream.h"

#include <qpdf/Buffer.hh>

#include <exception>

#include "pdfkit/QpdfBridge.h"

namespace pagewell {

PdfDictionary PdfStream::dictionary() const {
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        if (handle.isStream()) {
            return PdfDictionary(wrapQpdfObject(ownerOf(object_), handle.getDict()));
        }
    } catch (const std::exception&) {
    }
    return PdfDictionary{};
}

Result<std::string> PdfStream::copyData() const {
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        if (!handle.isStream()) {
            return Error::make(kPdfErrorDomain, -1, "Not a stream");
        }
        std::shared_ptr<Buffer> buffer = handle.getStreamData(qpdf_dl_specialized);
        if (!buffer)
            return std::string();
        return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    } catch (const std::exception& exception) {
        return Error::make(kPdfErrorDomain, -1,
                           std::string("Stream data unreadable: ") + exception.what());
    }
}

}  // namespace pagewell
