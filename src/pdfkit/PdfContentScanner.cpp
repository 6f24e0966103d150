#include "pdfkit/PdfContentScanner.h"

#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <exception>

#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

struct PdfContentScanner::OperandStack {
    std::shared_ptr<QpdfDocument> owner;  // resolves references inside array operands
    std::vector<QPDFObjectHandle> values;
};

namespace {

// Feeds the library's tokens to the scanner: operands onto the stack, operators to the table.
class ScannerCallbacks : public QPDFObjectHandle::ParserCallbacks {
  public:
    explicit ScannerCallbacks(PdfContentScanner& scanner) : scanner_(scanner) {}

    void handleObject(QPDFObjectHandle object, size_t, size_t) override {
        if (object.isOperator()) {
            scanner_.dispatch(object.getOperatorValue());
            if (scanner_.isStopped())
                terminateParsing();
        } else if (!object.isInlineImage()) {
            scanner_.operandStack().values.push_back(std::move(object));
        }
    }
    void handleEOF() override {}

  private:
    PdfContentScanner& scanner_;
};

// Runs `parse` with the operand stack set up for documents owned by `owner`; a failure of the
// library ends the scan with false.
template <class Parse>
bool scanWith(PdfContentScanner::OperandStack& operands, std::shared_ptr<QpdfDocument> owner,
              Parse parse) {
    operands.values.clear();
    operands.owner = std::move(owner);
    bool scanned = true;
    try {
        parse();
    } catch (const std::exception&) {
        scanned = false;
    }
    operands.values.clear();
    operands.owner.reset();
    return scanned;
}

}  // namespace

PdfContentScanner::PdfContentScanner(const PdfOperatorTable& table)
    : table_(table), operands_(std::make_unique<OperandStack>()) {}

PdfContentScanner::~PdfContentScanner() = default;

std::size_t PdfContentScanner::operandCount() const {
    return operands_->values.size();
}

void PdfContentScanner::dispatch(std::string_view operatorName) {
    if (const auto* callback = table_.callbackFor(operatorName)) {
        (*callback)(*this);
    }
    operands_->values.clear();
}

bool PdfContentScanner::scan(const PdfPage& page) {
    stopped_ = false;
    return scanWith(*operands_, ownerOf(page.dictionary().object()), [&] {
        QPDFPageObjectHelper helper(unwrapQpdfObject(page.dictionary().object()));
        ScannerCallbacks callbacks(*this);
        helper.parseContents(&callbacks);
    });
}

bool PdfContentScanner::scan(const PdfStream& stream) {
    stopped_ = false;
    bool isStream = false;
    const bool scanned = scanWith(*operands_, ownerOf(stream.object()), [&] {
        QPDFObjectHandle handle = unwrapQpdfObject(stream.object());
        isStream = handle.isStream();
        if (isStream) {
            ScannerCallbacks callbacks(*this);
            QPDFObjectHandle::parseContentStream(handle, &callbacks);
        }
    });
    return scanned && isStream;
}

bool PdfContentScanner::scanData(std::string_view content) {
    stopped_ = false;
    // A scratch document owns the bytes as a stream so the library can tokenise them.
    auto owner = std::make_shared<QpdfDocument>();
    auto logger = QPDFLogger::create();
    logger->setWarn(logger->discard());
    logger->setInfo(logger->discard());
    logger->setError(logger->discard());
    owner->pdf.setLogger(logger);
    owner->pdf.setSuppressWarnings(true);
    return scanWith(*operands_, owner, [&] {
        owner->pdf.emptyPDF();
        QPDFObjectHandle stream = owner->pdf.newStream(std::string(content));
        ScannerCallbacks callbacks(*this);
        QPDFObjectHandle::parseContentStream(stream, &callbacks);
    });
}

namespace {

// Pops the top operand when `convert` gives it a value of the wanted type; the library may
// throw on a damaged value, which counts as the wrong type.
template <class Convert>
auto popTyped(std::vector<QPDFObjectHandle>& values, Convert convert)
    -> decltype(convert(std::declval<QPDFObjectHandle&>())) {
    if (values.empty())
        return std::nullopt;
    try {
        auto value = convert(values.back());
        if (value)
            values.pop_back();
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<PdfObject> PdfContentScanner::popObject() {
    if (operands_->values.empty())
        return std::nullopt;
    PdfObject top = wrapQpdfObject(operands_->owner, std::move(operands_->values.back()));
    operands_->values.pop_back();
    return top;
}

std::optional<double> PdfContentScanner::popNumber() {
    return popTyped(operands_->values, [](QPDFObjectHandle& value) -> std::optional<double> {
        if (value.isInteger())
            return static_cast<double>(value.getIntValue());
        if (value.isReal())
            return value.getNumericValue();
        return std::nullopt;
    });
}

std::optional<std::int64_t> PdfContentScanner::popInteger() {
    return popTyped(operands_->values, [](QPDFObjectHandle& value) -> std::optional<std::int64_t> {
        if (value.isInteger())
            return static_cast<std::int64_t>(value.getIntValue());
        return std::nullopt;
    });
}

std::optional<std::string> PdfContentScanner::popName() {
    return popTyped(operands_->values, [](QPDFObjectHandle& value) -> std::optional<std::string> {
        if (!value.isName())
            return std::nullopt;
        std::string name = value.getName();
        if (!name.empty() && name.front() == '/')
            name.erase(0, 1);
        return name;
    });
}

std::optional<PdfString> PdfContentScanner::popString() {
    return popTyped(operands_->values, [](QPDFObjectHandle& value) -> std::optional<PdfString> {
        if (!value.isString())
            return std::nullopt;
        return PdfString(value.getStringValue());
    });
}

std::optional<PdfArray> PdfContentScanner::popArray() {
    return popTyped(operands_->values, [this](QPDFObjectHandle& value) -> std::optional<PdfArray> {
        if (!value.isArray())
            return std::nullopt;
        return PdfArray(wrapQpdfObject(operands_->owner, value));
    });
}

std::optional<PdfDictionary> PdfContentScanner::popDictionary() {
    return popTyped(operands_->values,
                    [this](QPDFObjectHandle& value) -> std::optional<PdfDictionary> {
                        if (!value.isDictionary())
                            return std::nullopt;
                        return PdfDictionary(wrapQpdfObject(operands_->owner, value));
                    });
}

}  // namespace pagewell
