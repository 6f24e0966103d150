#include "cli/PdfHitText.h"

#include <fmt/format.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace pagewell::cli {

namespace {
constexpr const char* kMarkStart = "\033[1;31m";
constexpr const char* kMarkEnd = "\033[0m";

// One decimal, without the "-0.0" that rounding a tiny negative value would print.
double tenths(double value) {
    const double rounded = std::round(value * 10) / 10;
    return rounded == 0 ? 0.0 : rounded;
}
}  // namespace

bool PdfHitText::markingWanted() {
    const char* noColor = std::getenv("NO_COLOR");
    const bool colourRefused = noColor != nullptr && noColor[0] != '\0';
    return !colourRefused && ::isatty(STDOUT_FILENO) != 0;
}

std::string PdfHitText::context(const VXPDFSelection::Description& description, bool marked) {
    std::string text = description.before;
    if (marked) {
        text += kMarkStart + description.match + kMarkEnd;
    } else {
        text += description.match;
    }
    text += description.after;
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string PdfHitText::pageRect(const PdfRect& rect) {
    return fmt::format("[x {:.1f} y {:.1f} w {:.1f} h {:.1f}]", tenths(rect.x), tenths(rect.y),
                       tenths(rect.width), tenths(rect.height));
}

nlohmann::json PdfHitText::hitJson(const PdfRect& rect, const PdfAffineTransform& t) {
    return {{"x", rect.x},
            {"y", rect.y},
            {"width", rect.width},
            {"height", rect.height},
            {"transform", {t.a, t.b, t.c, t.d, t.tx, t.ty}}};
}

}  // namespace pagewell::cli
