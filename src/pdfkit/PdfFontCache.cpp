#include "pdfkit/PdfFontCache.h"

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
    auto manager = std::make_shared<const VXPDFFontManager>(*fonts);
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
