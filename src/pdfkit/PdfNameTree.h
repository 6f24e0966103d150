#pragma once
// Walks a PDF name tree (a /Names array of string–value pairs, or /Kids of further nodes),
// depth first in written order. Damaged trees are tolerated: loops are cut with a visited set,
// depth is bounded, and entries that are not a string followed by a value are skipped.

#include <functional>
#include <optional>

#include "pdfkit/PdfDictionary.h"

namespace pagewell {

class PdfNameTree {
  public:
    // Return false from the visitor to stop the walk.
    using Visitor = std::function<bool(const PdfString& name, const PdfObject& value)>;

    static void walk(const PdfDictionary& root, const Visitor& visitor);
    // The value of the first entry whose name bytes equal `name` (/Limits are not trusted).
    static std::optional<PdfObject> find(const PdfDictionary& root, std::string_view name);
};

}  // namespace pagewell
