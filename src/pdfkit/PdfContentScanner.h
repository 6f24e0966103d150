#pragma once
// Runs over a content stream and hands every operator with a callback in the operator table
// to that callback, in content order, with the operator's operands on a stack. The library
// tokenises the content; the scanner only dispatches. After each operator the stack is
// cleared. Inline images are skipped.
//
// Pops take the top operand (the last written one first) and fail — nullopt, the operand
// stays — when the stack is empty or the top has another type. Operands stay the library's
// own values until popped, so the many operands no callback asks for (path coordinates,
// colours) cost nothing beyond tokenising.
//
// Threading: one scan at a time, on the thread that owns the document handle.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfOperatorTable.h"

namespace pagewell {

class PdfPage;
class PdfStream;

class PdfContentScanner {
  public:
    explicit PdfContentScanner(const PdfOperatorTable& table);
    ~PdfContentScanner();
    PdfContentScanner(const PdfContentScanner&) = delete;
    PdfContentScanner& operator=(const PdfContentScanner&) = delete;

    // Scans the page's content streams. Returns false when the content could not be read at
    // all; damaged content is scanned as far as it goes.
    bool scan(const PdfPage& page);
    // Scans one content stream (a form XObject, for example).
    bool scan(const PdfStream& stream);
    // Scans content bytes that are not part of any document.
    bool scanData(std::string_view content);

    // Ends the running scan after the current callback returns.
    void stop() { stopped_ = true; }
    bool isStopped() const { return stopped_; }

    std::size_t operandCount() const;
    std::optional<PdfObject> popObject();
    // Integer or real.
    std::optional<double> popNumber();
    // Integer only.
    std::optional<std::int64_t> popInteger();
    // Without the slash.
    std::optional<std::string> popName();
    std::optional<PdfString> popString();
    std::optional<PdfArray> popArray();
    std::optional<PdfDictionary> popDictionary();

    // Internal, for the tokeniser adapter: one operator, with the operands pushed before it.
    void dispatch(std::string_view operatorName);

    // Internal: the operands, as library values (defined in the .cpp).
    struct OperandStack;
    OperandStack& operandStack() { return *operands_; }

  private:
    const PdfOperatorTable& table_;
    std::unique_ptr<OperandStack> operands_;
    bool stopped_ = false;
};

}  // namespace pagewell
