#pragma once
// How `pdf search` and `pdf grep` show a hit to a person: the words around it, the match
// marked (bold red, as grep marks it) only when stdout is a terminal and NO_COLOR is not set,
// and its rectangle on the displayed page; and how both show a hit in JSON.

#include <nlohmann/json_fwd.hpp>

#include <string>

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfRect.h"
#include "pdfkit/VXPDFSelection.h"

namespace pagewell::cli {

class PdfHitText {
  public:
    // Whether matches get marked: stdout is a terminal and NO_COLOR is unset or empty.
    static bool markingWanted();

    // "words before MATCH words after" (trimmed; the match alone when there is no context).
    static std::string context(const VXPDFSelection::Description& description, bool marked);
    // The rectangle on the displayed page: "[x 72.0 y 140.5 w 18.2 h 11.0]", in points from
    // the top-left corner.
    static std::string pageRect(const PdfRect& rect);

    // A hit as `pdf search --json` prints it: its rectangle in the space of its transform.
    static nlohmann::json hitJson(const PdfRect& rect, const PdfAffineTransform& transform);
};

}  // namespace pagewell::cli
