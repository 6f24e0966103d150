#include "pdfkit/VXPDFPageDictForName.h"

#include <set>
#include <utility>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFDocument.h"

namespace pagewell {

namespace {

constexpr int kMaximumDepth = 64;

// The page of a destination written as an explicit destination array [page /XYZ ...].
std::optional<PdfDictionary> pageOfArray(const std::optional<PdfArray>& destination) {
    if (!destination) {
        return std::nullopt;
    }
    return destination->getDictionary(0);
}

class DestinationSearch {
  public:
    explicit DestinationSearch(std::string_view name) : name_(name) {}

    // The root's own /Names: the value after the matching name must be a destination array.
    std::optional<PdfDictionary> scanRootNames(const PdfArray& names) const {
        for (std::size_t i = 0; i + 1 < names.count(); ++i) {
            if (matches(names, i)) {
                if (auto page = pageOfArray(names.getArray(i + 1))) {
                    return page;
                }
            }
        }
        return std::nullopt;
    }

    // Kids' /Names: the value may also be a dictionary whose /D is the destination array.
    std::optional<PdfDictionary> scanKidNames(const PdfArray& names) const {
        for (std::size_t i = 0; i + 1 < names.count(); ++i) {
            if (!matches(names, i)) {
                continue;
            }
            if (auto dictionary = names.getDictionary(i + 1)) {
                if (auto page = pageOfArray(dictionary->getArray("D"))) {
                    return page;
                }
            } else if (auto page = pageOfArray(names.getArray(i + 1))) {
                return page;
            }
        }
        return std::nullopt;
    }

    std::optional<PdfDictionary> walkKids(const PdfDictionary& node, int depth) {
        if (depth > kMaximumDepth || !firstVisit(node)) {
            return std::nullopt;
        }
        std::optional<PdfArray> kids = node.getArray("Kids");
        if (!kids) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < kids->count(); ++i) {
            std::optional<PdfDictionary> kid = kids->getDictionary(i);
            if (!kid) {
                continue;
            }
            std::optional<PdfDictionary> page;
            if (kid->hasKey("Kids")) {
                page = walkKids(*kid, depth + 1);
            } else if (auto names = kid->getArray("Names")) {
                page = scanKidNames(*names);
            }
            if (page) {
                return page;
            }
        }
        return std::nullopt;
    }

  private:
    bool matches(const PdfArray& names, std::size_t index) const {
        std::optional<PdfString> key = names.getString(index);
        return key && key->copyTextString() == name_;
    }

    bool firstVisit(const PdfDictionary& node) {
        const std::pair<int, int> id = node.object().objectId();
        return id.first == 0 || visited_.insert(id).second;
    }

    std::string_view name_;
    std::set<std::pair<int, int>> visited_;
};

}  // namespace

std::optional<PdfDictionary> VXPDFPageDictForName::getForName(std::string_view name) {
    std::optional<PdfDictionary> catalog = VXPDFDocument::getInstance().getCatalog();
    return catalog ? getForName(name, *catalog) : std::nullopt;
}

std::optional<PdfDictionary> VXPDFPageDictForName::getForName(std::string_view name,
                                                              const PdfDictionary& catalog) {
    std::optional<PdfDictionary> names = catalog.getDictionary("Names");
    std::optional<PdfDictionary> dests = names ? names->getDictionary("Dests") : std::nullopt;
    if (!dests) {
        return std::nullopt;
    }
    DestinationSearch search(name);
    if (auto rootNames = dests->getArray("Names")) {
        return search.scanRootNames(*rootNames);
    }
    return search.walkKids(*dests, 0);
}

std::optional<int> VXPDFPageDictForName::getPageNumberForName(std::string_view name,
                                                              const PdfDocumentHandle& document) {
    std::optional<PdfDictionary> target = getForName(name, document.catalog());
    if (!target) {
        return std::nullopt;
    }
    const std::pair<int, int> id = target->object().objectId();
    if (id.first == 0) {
        return std::nullopt;  // pages are indirect objects; a direct dictionary is no page
    }
    for (int number = 1; number <= document.numberOfPages(); ++number) {
        std::optional<PdfPage> page = document.page(number);
        if (page && page->dictionary().object().objectId() == id) {
            return number;
        }
    }
    return std::nullopt;
}

}  // namespace pagewell
