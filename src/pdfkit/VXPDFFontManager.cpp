#include "pdfkit/VXPDFFontManager.h"

#include "pdfkit/PdfPage.h"

namespace pagewell {

VXPDFFontManager::VXPDFFontManager(const PdfDictionary& fontDictionary) {
    fontDictionary.applyFunction([this](const std::string& key, const PdfObject& value) {
        auto dictionary = value.getDictionary();
        if (!dictionary)
            return;
        if (auto font = VXPDFFont::fontWithDictionary(*dictionary)) {
            fonts_[key] = std::move(font);
        }
    });
}

VXPDFFontManager VXPDFFontManager::withPage(const PdfPage& page) {
    // Resources as the page inherits them: many files keep fonts on the /Pages node.
    auto resources = page.resources();
    auto fonts = resources ? resources->getDictionary("Font") : std::nullopt;
    return fonts ? VXPDFFontManager(*fonts) : VXPDFFontManager();
}

std::shared_ptr<const VXPDFFont> VXPDFFontManager::fontNamed(std::string_view name) const {
    auto found = fonts_.find(name);
    return found == fonts_.end() ? nullptr : found->second;
}

}  // namespace pagewell
