#pragma once
// Font managers of one document, shared by the page scans of a search: pages (and forms) that
// use the same font resource dictionary get the same fonts instead of building them again, and
// a font object met under several dictionaries (forms with resources of their own usually
// name the page's fonts again) is built once.
// Bounded: when `capacity` dictionaries (or 4 × `capacity` fonts) are cached the cache starts
// over, so memory follows the pages being scanned, not the size of the document.
//
// Threading: used by one thread at a time (the thread that owns the document handle).

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "pdfkit/PdfDictionary.h"

namespace pagewell {

class VXPDFFont;
class VXPDFFontManager;

class PdfFontCache {
  public:
    explicit PdfFontCache(std::size_t capacity = 64) : capacity_(capacity) {}

    // The fonts of `resources` (its /Font dictionary); nullptr when it has none.
    std::shared_ptr<const VXPDFFontManager> fontManagerFor(
        const std::optional<PdfDictionary>& resources);

    // Font managers built so far (cache misses), for tests and benchmarks.
    std::size_t buildCount() const { return builds_; }

  private:
    std::size_t capacity_;
    std::size_t builds_ = 0;
    std::map<std::pair<int, int>, std::shared_ptr<const VXPDFFontManager>> managers_;
    std::map<std::pair<int, int>, std::shared_ptr<const VXPDFFont>> fonts_;
};

}  // namespace pagewell
