#pragma once
// Searches every page of one PDF file for a keyword, on the calling thread, with its own
// document handle: the search of `pagewell pdf grep`, which spreads many files over workers.
// Each page is scanned by a VXPDFScanner with the per-page operator budget of the viewer's
// search, so a hostile page costs a bounded amount of work and keeps the hits found so far.
//
// Threading: one call per file; calls for different files may run on different threads at
// once (each opens its own document and font cache, nothing is shared but read-only tables).

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/VXPDFSelection.h"
#include "platform/Error.h"

namespace pagewell {

class PdfFileSearch {
  public:
    // One hit: its rectangle in the space of its transform (as VXPDFSelection keeps it), and
    // the words around it with its rectangle on the displayed page.
    struct Hit {
        PdfRect rect;
        PdfAffineTransform transform;
        VXPDFSelection::Description description;
    };
    struct Page {
        int number = 0;
        std::size_t hitCount = 0;
        std::vector<Hit> hits;  // empty when only counting
    };
    struct Findings {
        int pageCount = 0;
        std::size_t hitCount = 0;
        std::vector<Page> pages;  // pages with hits, ascending
        // Pages whose scan ran out of its operator budget (their later hits are missing).
        std::vector<int> pagesCutShort;
    };
    struct Options {
        std::size_t operatorBudgetPerPage = 4'000'000;
        // Count hits per page without keeping them (no hits, no descriptions).
        bool countOnly = false;
        // Checked between pages; a stopped search is an error.
        const std::atomic<bool>* stop = nullptr;
    };

    static constexpr const char* kErrorDomain = "PdfFileSearch";
    static constexpr int kStoppedCode = 1;

    // The hits of `keyword` in the file at `path`; an error when the file cannot be opened as a
    // PDF or the search was stopped.
    static Result<Findings> searchFile(const std::string& path, const std::string& keyword,
                                       const Options& options);
};

}  // namespace pagewell
