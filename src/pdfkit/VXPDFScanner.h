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
// A scanner that describes its hits (setDescribesHits) also keeps the page's text as shown —
// strings in content order, a space wherever the text jumps (a new line, a gap wider than a
// narrow space) — and gives every hit the words around it and its rectangle on the displayed
// page. The kept text grows with the page's shown text, which the page's content bounds.
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
    // Fills each hit's VXPDFSelection::Description (off by default: it costs time per glyph).
    void setDescribesHits(bool describes) { describesHits_ = describes; }
    // Characters of context kept on each side of a hit, cut back to whole words.
    static constexpr std::size_t kContextCharacters = 40;

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
        std::size_t textOffset;  // where the glyph's text begins in pageText_
    };
    struct TextRange {
        std::size_t begin;
        std::size_t end;
    };

    void beginScan();
    void buildOperatorTable();
    bool charge(PdfContentScanner& scanner, std::size_t cost = 1);
    VXPDFRenderState* state() { return stack_.topRenderState(); }
    void showString(const std::string& bytes);
    void drawXObject(PdfContentScanner& scanner, const std::string& name);
    void scanForm(const PdfStream& form, PdfContentScanner& outer);
    void resetMatch();
    void noteTextPosition(const VXPDFRenderState& state);
    void describeHits(const PdfAffineTransform* toPageSpace);
    std::shared_ptr<const VXPDFFontManager> fontManagerFor(
        const std::optional<PdfDictionary>& resources);

    // VXPDFStringScannerDelegate
    void scannerDidShowText(VXPDFStringScanner& scanner, std::u16string_view text) override;
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
    // Hit descriptions: the page's text as shown, where the current glyph's text begins, where
    // the last string ended (user space), and each hit's part of the text.
    bool describesHits_ = false;
    std::u16string pageText_;
    std::size_t glyphTextBegin_ = 0;
    std::optional<PdfPoint> lastTextEnd_;
    std::vector<TextRange> hitText_;
    std::size_t operatorBudget_ = kDefaultOperatorBudget;
    std::size_t operatorsUsed_ = 0;
    bool budgetExhausted_ = false;
};

}  // namespace pagewell
