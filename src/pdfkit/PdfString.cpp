#include "pdfkit/PdfString.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <exception>

namespace pagewell {

std::string PdfString::copyTextString() const {
    try {
        return QPDFObjectHandle::newString(bytes_).getUTF8Value();
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace pagewell
