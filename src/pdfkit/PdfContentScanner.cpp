#include "pdfkit/PdfContentScanner.h"

#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <exception>

#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

namespace {

// Feeds the library's tokens to the scanner: operands onto the stack, operators to the table.
class ScannerCallbacks : public QPDFObjectHandle::ParserCallbacks {
  public:
    ScannerCallbacks(PdfContentScanner& scanner, std::shared_ptr<QpdfDocument> owner)
        : scanner_(scanner), owner_(std::move(owner)) {}

    void handleObject(QPDFObjectHandle object, size_t, size_t) override {
        if (object.isOperator()) {
            scanner_.dispatch(object.getOperatorValue());
            if (scanner_.isStopped())
                terminateParsing();
        } else if (!object.isInlineImage()) {
            scanner_.pushOperand(wrapQpdfObject(owner_, object));
        }
    }
    void handleEOF() override {}

  private:
    PdfContentScanner& scanner_;
    std::shared_ptr<QpdfDocument> owner_;
};

}  // namespace

PdfContentScanner::PdfContentScanner(const PdfOperatorTable& table) : table_(table) {}

void PdfContentScanner::dispatch(std::string_view operatorName) {
    if (const auto* callback = table_.callbackFor(operatorName)) {
        (*callback)(*this);
    }
    operands_.clear();
}

bool PdfContentScanner::scan(const PdfPage& page) {
    stopped_ = false;
    operands_.clear();
    try {
        QPDFPageObjectHelper helper(unwrapQpdfObject(page.dictionary().object()));
        ScannerCallbacks callbacks(*this, ownerOf(page.dictionary().object()));
        helper.parseContents(&callbacks);
    } catch (const std::exception&) {
        operands_.clear();
        return false;
    }
    operands_.clear();
    return true;
}

bool PdfContentScanner::scan(const PdfStream& stream) {
    stopped_ = false;
    operands_.clear();
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(stream.object());
        if (!handle.isStream())
            return false;
        ScannerCallbacks callbacks(*this, ownerOf(stream.object()));
        QPDFObjectHandle::parseContentStream(handle, &callbacks);
    } catch (const std::exception&) {
        operands_.clear();
        return false;
    }
    operands_.clear();
    return true;
}

bool PdfContentScanner::scanData(std::string_view content) {
    stopped_ = false;
    operands_.clear();
    try {
        // A scratch document owns the bytes as a stream so the library can tokenise them.
        auto owner = std::make_shared<QpdfDocument>();
        auto logger = QPDFLogger::create();
        logger->setWarn(logger->discard());
        logger->setInfo(logger->discard());
        logger->setError(logger->discard());
        owner->pdf.setLogger(logger);
        owner->pdf.setSuppressWarnings(true);
        owner->pdf.emptyPDF();
        QPDFObjectHandle stream = owner->pdf.newStream(std::string(content));
        ScannerCallbacks callbacks(*this, owner);
        QPDFObjectHandle::parseContentStream(stream, &callbacks);
    } catch (const std::exception&) {
        operands_.clear();
        return false;
    }
    operands_.clear();
    return true;
}

std::optional<PdfObject> PdfContentScanner::popObject() {
    if (operands_.empty())
        return std::nullopt;
    PdfObject top = std::move(operands_.back());
    operands_.pop_back();
    return top;
}

namespace {

template <class Getter>
auto popTyped(std::vector<PdfObject>& operands, Getter getter)
    -> decltype(getter(std::declval<const PdfObject&>())) {
    if (operands.empty())
        return std::nullopt;
    auto value = getter(operands.back());
    if (value)
        operands.pop_back();
    return value;
}

}  // namespace

std::optional<double> PdfContentScanner::popNumber() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getNumber(); });
}
std::optional<std::int64_t> PdfContentScanner::popInteger() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getInteger(); });
}
std::optional<std::string> PdfContentScanner::popName() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getName(); });
}
std::optional<PdfString> PdfContentScanner::popString() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getString(); });
}
std::optional<PdfArray> PdfContentScanner::popArray() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getArray(); });
}
std::optional<PdfDictionary> PdfContentScanner::popDictionary() {
    return popTyped(operands_, [](const PdfObject& object) { return object.getDictionary(); });
}

}  // namespace pagewell
