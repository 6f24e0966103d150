#include "pdfkit/PdfFileSearch.h"

#include <memory>
#include <utility>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfFontCache.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell {

Result<PdfFileSearch::Findings> PdfFileSearch::searchFile(const std::string& path,
                                                          const std::string& keyword,
                                                          const Options& options) {
    auto opened = PdfDocumentHandle::createWithPath(path);
    if (!opened.ok()) {
        return opened.error();
    }
    const std::shared_ptr<PdfDocumentHandle> document = std::move(opened).value();
    Findings findings;
    findings.pageCount = document->numberOfPages();
    auto fonts = std::make_shared<PdfFontCache>();
    VXPDFScanner scanner(fonts);
    scanner.setKeyword(keyword);
    scanner.setOperatorBudget(options.operatorBudgetPerPage);
    scanner.setDescribesHits(!options.countOnly);
    for (int number = 1; number <= findings.pageCount; ++number) {
        if (options.stop != nullptr && options.stop->load()) {
            return Error::make(kErrorDomain, kStoppedCode, "The search was stopped");
        }
        auto page = document->page(number);
        if (!page) {
            continue;
        }
        scanner.scanPage(*page);
        if (scanner.budgetExhausted()) {
            findings.pagesCutShort.push_back(number);
        }
        const auto& selections = scanner.selectionsArray();
        if (selections.empty()) {
            continue;
        }
        Page found;
        found.number = number;
        found.hitCount = selections.size();
        if (!options.countOnly) {
            found.hits.reserve(selections.size());
            for (const VXPDFSelection& selection : selections) {
                found.hits.push_back(
                    Hit{selection.rect(), selection.transform(), selection.description()});
            }
        }
        findings.hitCount += found.hitCount;
        findings.pages.push_back(std::move(found));
    }
    return findings;
}

}  // namespace pagewell
