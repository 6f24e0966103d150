#pragma once
// Scans one page for a keyword: follows the text state through the text operators, decodes
// every shown string with the page's fonts, matches it with a VXPDFStringScanner and records
// one VXPDFSelection per hit, in content order.
//
// Text inside form XObjects is scanned too (Do on a form: the form's /Matrix before the
// current transformation, its own /Resources, or the caller's when it has none); forms nested
// deeper than kMaxFormDepth — a form that draws itself — are cut off. The work per page is
// bounded by an operator budget; a page that exceeds it keeps the hits found so far.
//
// Threading: one page scan at a time, on the thread that owns the document handle.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfOperatorTable.h"
#include "pdfkit/VXPDFRenderStateStack.h"
#include "pdfkit/VXPDFSelection.h"
#include "pdfkit/VXPDFStringScanner.h"

namespace pagewell {

class PdfContentScanner;
class PdfFontCache;
class PdfPage;
class PdfStream;
class VXPDFFontManager;

class VXPDFScanner : private VXPDFStringScannerDelegate {
  public:
    static constexpr int kMaxFormDepth = 8;
    static constexpr std::size_t kDefaultOperatorBudget = 4'000'000;

    // Called for every string a text operator shows: the font's resource name and the text as
    // the font decodes it (UTF-8, before lower-casing).
    using StringObserver = std::function<void(const std::string& fontName, std::string_view text)>;

    // `fontCache` lets consecutive page scans of one document share fonts built from the same
    // resource dictionaries; without one, fonts are built for this scan only.
    explicit VXPDFScanner(std::shared_ptr<PdfFontCache> fontCache = nullptr);
    ~VXPDFScanner() override;
    VXPDFScanner(const VXPDFScanner&) = delete;
    VXPDFScanner& operator=(const VXPDFScanner&) = delete;

    void setKeyword(std::string keyword);
    const std::string& keyword() const { return keyword_; }
    void setStringObserver(StringObserver observer) { stringObserver_ = std::move(observer); }
    void setOperatorBudget(std::size_t budget) { operatorBudget_ = budget; }

    // Scans the page when a keyword (or a string observer) is set; clears earlier hits first.
    void scanPage(const PdfPage& page);
    // Scans content bytes with `resources` (for tests and the fuzz target).
    void scanContent(std::string_view content, const std::optional<PdfDictionary>& resources);

    const std::vector<VXPDFSelection>& selectionsArray() const { return selections_; }
    // The text state where the last scan ended (the operators' effects, for diagnostics).
    const VXPDFRenderStateStack& renderStateStack() const { return stack_; }
    // True when the last scan ran out of its operator budget.
    bool budgetExhausted() const { return budgetExhausted_; }

  private:
    struct ContentFrame;
    struct GlyphStart {
        std::uint64_t glyph;
        VXPDFRenderState state;
    };

    void beginScan();
    void buildOperatorTable();
    bool charge(PdfContentScanner& scanner, std::size_t cost = 1);
    VXPDFRenderState* state() { return stack_.topRenderState(); }
    void showString(const std::string& bytes);
    void drawXObject(PdfContentScanner& scanner, const std::string& name);
    void scanForm(const PdfStream& form, PdfContentScanner& outer);
    void resetMatch();
    std::shared_ptr<const VXPDFFontManager> fontManagerFor(
        const std::optional<PdfDictionary>& resources);

    // VXPDFStringScannerDelegate
    void scannerDidStartMatchingString(VXPDFStringScanner& scanner, std::uint64_t glyph) override;
    void scannerDidScanCharacter(VXPDFStringScanner& scanner, unsigned code) override;
    void scannerFoundString(VXPDFStringScanner& scanner, std::uint64_t firstGlyph) override;

    std::string keyword_;
    StringObserver stringObserver_;
    std::shared_ptr<PdfFontCache> fontCache_;
    PdfOperatorTable table_;
    VXPDFRenderStateStack stack_;
    std::unique_ptr<VXPDFStringScanner> stringScanner_;
    std::vector<ContentFrame> frames_;  // the page, then each form being scanned
    std::deque<GlyphStart> glyphStarts_;
    std::vector<VXPDFSelection> selections_;
    std::size_t operatorBudget_ = kDefaultOperatorBudget;
    std::size_t operatorsUsed_ = 0;
    bool budgetExhausted_ = false;
};

}  // namespace pagewell
