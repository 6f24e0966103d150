// Search over every page of every real-world file in ../shared/corpus (some damaged, some
// encrypted): no crash, the work per page bounded by the operator budget, and a clear error for
// files that cannot be opened.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CorpusFiles.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfFontCache.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell {
namespace {

std::filesystem::path corpusDirectory() {
    return test::corpusDirectory(PAGEWELL_SEARCH_CORPUS);
}

TEST(PdfSearchCorpusTest, EveryPageOfEveryFileIsSearchedOrTheFileIsRefusedClearly) {
    const auto files = test::corpusFiles(corpusDirectory());
    if (files.empty()) {
        GTEST_SKIP() << "no corpus at " << corpusDirectory();
    }
    int opened = 0;
    int pagesScanned = 0;
    int pagesWithHits = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        auto document = PdfDocumentHandle::createWithPath(path.string());
        if (!document.ok()) {
            EXPECT_FALSE(document.error().description.empty());
            EXPECT_EQ(document.error().description.find('\n'), std::string::npos)
                << "one line: " << document.error().description;
            continue;
        }
        ++opened;
        auto fonts = std::make_shared<PdfFontCache>();
        const int pageCount = document.value()->numberOfPages();
        for (int number = 1; number <= pageCount; ++number) {
            auto page = document.value()->page(number);
            if (!page) {
                continue;
            }
            VXPDFScanner scanner(fonts);
            scanner.setKeyword("the");
            scanner.scanPage(*page);
            ++pagesScanned;
            pagesWithHits += scanner.selectionsArray().empty() ? 0 : 1;
            for (const VXPDFSelection& hit : scanner.selectionsArray()) {
                EXPECT_TRUE(std::isfinite(hit.rect().width));
            }
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(pagesWithHits, 0) << "English text files mention \"the\" somewhere";
    RecordProperty("pagesScanned", pagesScanned);
}

}  // namespace
}  // namespace pagewell
