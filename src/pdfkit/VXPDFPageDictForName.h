#pragma once
// Finds the page a named destination points to, through the catalog's /Names /Dests tree, as
// links to named destinations need. /Limits are not consulted (damaged files get them wrong);
// the first matching entry in depth-first order wins; loops and excessive depth end the walk.
//
// Threading: as the document handle it reads (one thread at a time).

#include <optional>
#include <string_view>

#include "pdfkit/PdfDictionary.h"

namespace pagewell {

class PdfDocumentHandle;

class VXPDFPageDictForName {
  public:
    // The page dictionary of destination `name` in the open document (VXPDFDocument), or
    // nullopt when there is no such destination or no document.
    static std::optional<PdfDictionary> getForName(std::string_view name);
    // The same in the document with catalog `catalog`.
    static std::optional<PdfDictionary> getForName(std::string_view name,
                                                   const PdfDictionary& catalog);
    // The 1-based number of the page destination `name` points to in `document`, or nullopt.
    static std::optional<int> getPageNumberForName(std::string_view name,
                                                   const PdfDocumentHandle& document);
};

}  // namespace pagewell
