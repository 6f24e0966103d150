#include "pdfkit/PdfDocumentHandle.h"

#include <qpdf/QPDFLogger.hh>

#include <exception>

#include "pdfkit/PdfPage.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

namespace {

// The library reports repairs as warnings on its own streams; the engine is silent and
// treats a repaired file like any other.
std::shared_ptr<QpdfDocument> makeSilentDocument() {
    auto document = std::make_shared<QpdfDocument>();
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    document->pdf.setLogger(logger);
    document->pdf.setSuppressWarnings(true);
    return document;
}

Error openError(const std::string& what, const std::exception& exception) {
    return Error::make(kPdfErrorDomain, -1, what + ": " + exception.what());
}

}  // namespace

PdfDocumentHandle::PdfDocumentHandle(std::shared_ptr<QpdfDocument> document, std::string path)
    : document_(std::move(document)), path_(std::move(path)) {}

PdfDocumentHandle::~PdfDocumentHandle() = default;

Result<std::shared_ptr<PdfDocumentHandle>> PdfDocumentHandle::createWithPath(
    const std::string& path) {
    auto document = makeSilentDocument();
    try {
        document->pdf.processFile(path.c_str());
        document->pdf.getAllPages();
    } catch (const std::exception& exception) {
        return openError("Not a readable PDF file", exception);
    }
    return std::shared_ptr<PdfDocumentHandle>(new PdfDocumentHandle(std::move(document), path));
}

Result<std::shared_ptr<PdfDocumentHandle>> PdfDocumentHandle::createWithData(
    std::string data, std::string description) {
    auto document = makeSilentDocument();
    try {
        // The library reads lazily from the buffer it is given: the document owns it.
        document->data = std::move(data);
        document->pdf.processMemoryFile(description.c_str(), document->data.data(),
                                        document->data.size());
        document->pdf.getAllPages();
    } catch (const std::exception& exception) {
        return openError("Not a readable PDF", exception);
    }
    return std::shared_ptr<PdfDocumentHandle>(
        new PdfDocumentHandle(std::move(document), std::move(description)));
}

int PdfDocumentHandle::numberOfPages() const {
    try {
        return static_cast<int>(document_->pdf.getAllPages().size());
    } catch (const std::exception&) {
        return 0;
    }
}

std::optional<PdfPage> PdfDocumentHandle::page(int pageNumber) const {
    try {
        const auto& pages = document_->pdf.getAllPages();
        if (pageNumber < 1 || static_cast<std::size_t>(pageNumber) > pages.size()) {
            return std::nullopt;
        }
        PdfObject object =
            wrapQpdfObject(document_, pages[static_cast<std::size_t>(pageNumber - 1)]);
        auto dictionary = object.getDictionary();
        if (!dictionary)
            return std::nullopt;
        return PdfPage(shared_from_this(), pageNumber, *dictionary);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

PdfDictionary PdfDocumentHandle::catalog() const {
    try {
        return PdfDictionary(wrapQpdfObject(document_, document_->pdf.getRoot()));
    } catch (const std::exception&) {
        return PdfDictionary{};
    }
}

PdfDictionary PdfDocumentHandle::trailer() const {
    try {
        return PdfDictionary(wrapQpdfObject(document_, document_->pdf.getTrailer()));
    } catch (const std::exception&) {
        return PdfDictionary{};
    }
}

}  // namespace pagewell
