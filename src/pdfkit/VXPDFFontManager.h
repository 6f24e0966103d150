#pragma once
// The fonts of one page, by resource name ("F1"). Built per page scan; immutable afterwards.

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pdfkit/VXPDFFont.h"

namespace pagewell {

class PdfPage;

class VXPDFFontManager {
  public:
    VXPDFFontManager() = default;
    // Every key of a /Font resource dictionary whose value is a dictionary that yields a font.
    explicit VXPDFFontManager(const PdfDictionary& fontDictionary);
    // Fonts built elsewhere (a cache that shares fonts between resource dictionaries).
    explicit VXPDFFontManager(
        std::map<std::string, std::shared_ptr<const VXPDFFont>, std::less<>> fonts)
        : fonts_(std::move(fonts)) {}
    // The fonts of the page's /Resources /Font, with resources inherited from the page tree.
    static VXPDFFontManager withPage(const PdfPage& page);

    // Nullptr for a name without font.
    std::shared_ptr<const VXPDFFont> fontNamed(std::string_view name) const;
    const std::map<std::string, std::shared_ptr<const VXPDFFont>, std::less<>>& fonts() const {
        return fonts_;
    }

  private:
    std::map<std::string, std::shared_ptr<const VXPDFFont>, std::less<>> fonts_;
};

}  // namespace pagewell
