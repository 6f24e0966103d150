#include "pdfkit/PdfFontCache.h"

#include "pdfkit/VXPDFFont.h"
#include "pdfkit/VXPDFFontManager.h"

namespace pagewell {

std::shared_ptr<const VXPDFFontManager> PdfFontCache::fontManagerFor(
    const std::optional<PdfDictionary>& resources) {
    if (!resources) {
        return nullptr;
    }
    auto fontObject = resources->getObject("Font");
    auto fonts = resources->getDictionary("Font");
    if (!fonts || !fontObject) {
        return nullptr;
    }
    // Shared font dictionaries are indirect objects; a direct one is known by the resource
    // dictionary holding it. Fully direct resources (rare) are built each time.
    std::pair<int, int> key = fontObject->objectId();
    if (key.first == 0) {
        key = resources->object().objectId();
    }
    if (key.first != 0) {
        if (auto found = managers_.find(key); found != managers_.end()) {
            return found->second;
        }
    }
    std::map<std::string, std::shared_ptr<const VXPDFFont>, std::less<>> built;
    fonts->applyFunction([&](const std::string& name, const PdfObject& value) {
        auto dictionary = value.getDictionary();
        if (!dictionary) {
            return;
        }
        const std::pair<int, int> id = value.objectId();
        if (id.first != 0) {
            if (auto found = fonts_.find(id); found != fonts_.end()) {
                built[name] = found->second;
                return;
            }
        }
        auto font = VXPDFFont::fontWithDictionary(*dictionary);
        if (!font) {
            return;
        }
        if (id.first != 0) {
            if (fonts_.size() >= 4 * capacity_) {
                fonts_.clear();
            }
            fonts_.emplace(id, font);
        }
        built[name] = std::move(font);
    });
    auto manager = std::make_shared<const VXPDFFontManager>(std::move(built));
    ++builds_;
    if (key.first != 0) {
        if (managers_.size() >= capacity_) {
            managers_.clear();
        }
        managers_.emplace(key, manager);
    }
    return manager;
}

}  // namespace pagewell
