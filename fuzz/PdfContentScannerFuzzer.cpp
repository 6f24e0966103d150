// Feeds arbitrary bytes to the page scanner as a content stream, with a small document's fonts
// and a form XObject as resources, searching for a keyword: no input may crash or hang it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFScanner.h"

namespace {

// A one-page document whose resources hold a simple font with a ToUnicode map (/F1), a font
// with a code-page encoding (/F2) and a form that shows text and draws itself (/Fm1).
// Cross-reference offsets are left to the library's repair.
const char kDocument[] =
    "%PDF-1.4\n"
    "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
    "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
    "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Resources 4 0 R "
    "/Contents 8 0 R >> endobj\n"
    "4 0 obj << /Font << /F1 5 0 R /F2 6 0 R >> /XObject << /Fm1 9 0 R >> >> endobj\n"
    "5 0 obj << /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 1 /LastChar 3 "
    "/Widths [600 500 250] /ToUnicode 7 0 R /FontDescriptor << /Type /FontDescriptor "
    "/Ascent 750 /Descent -250 >> >> endobj\n"
    "6 0 obj << /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding >> "
    "endobj\n"
    "7 0 obj << /Length 80 >> stream\n"
    "1 beginbfchar\n<01> <FB01>\nendbfchar\n1 beginbfrange\n<20> <7E> <0020>\nendbfrange\n"
    "endstream endobj\n"
    "8 0 obj << /Length 0 >> stream\nendstream endobj\n"
    "9 0 obj << /Type /XObject /Subtype /Form /BBox [0 0 10 10] /Matrix [1 0 0 1 5 5] "
    "/Resources 4 0 R /Length 33 >> stream\nBT /F1 9 Tf (ab) Tj ET /Fm1 Do\nendstream endobj\n"
    "trailer << /Root 1 0 R /Size 10 >>\n%%EOF\n";

}  // namespace

// The document is opened for every input: a static one would outlive the PDF library's own
// statics at exit.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto document =
        pagewell::PdfDocumentHandle::createWithData(std::string(kDocument), "fuzz resources");
    if (!document.ok()) {
        return 0;
    }
    auto page = document.value()->page(1);
    if (!page) {
        return 0;
    }
    pagewell::VXPDFScanner scanner;
    scanner.setKeyword("ab");
    scanner.setOperatorBudget(100'000);
    scanner.scanContent(std::string_view(reinterpret_cast<const char*>(data), size),
                        page->resources());
    return 0;
}
