#include "pdfkit/VXPDFToc.h"

#include <map>
#include <set>
#include <utility>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFPageDictForName.h"

namespace pagewell {

namespace {

using ObjectId = std::pair<int, int>;

// Resolves outline targets to page numbers: explicit destinations by the page object's
// identity, named ones through the document's destination names.
class TargetResolver {
  public:
    explicit TargetResolver(const PdfDocumentHandle& document) : document_(document) {
        for (int number = 1; number <= document.numberOfPages(); ++number) {
            if (std::optional<PdfPage> page = document.page(number)) {
                const ObjectId id = page->dictionary().object().objectId();
                if (id.first != 0) {
                    pages_.emplace(id, number);  // the first page of a shared object wins
                }
            }
        }
    }

    int pageForItem(const PdfDictionary& item) const {
        if (std::optional<PdfObject> dest = item.getObject("Dest")) {
            return pageForDestination(*dest);
        }
        std::optional<PdfDictionary> action = item.getDictionary("A");
        if (action && action->getName("S") == "GoTo") {
            if (std::optional<PdfObject> dest = action->getObject("D")) {
                return pageForDestination(*dest);
            }
        }
        return -1;
    }

  private:
    int pageForDestination(const PdfObject& dest) const {
        if (std::optional<PdfArray> array = dest.getArray()) {
            std::optional<PdfObject> first = array->getObject(0);
            if (!first) {
                return -1;
            }
            const auto found = pages_.find(first->objectId());
            return found == pages_.end() || first->objectId().first == 0 ? -1 : found->second;
        }
        std::optional<std::string> name;
        if (std::optional<PdfString> text = dest.getString()) {
            name = text->copyTextString();
        } else {
            name = dest.getName();  // older files name destinations with names, not strings
        }
        if (!name) {
            return -1;
        }
        return VXPDFPageDictForName::getPageNumberForName(*name, document_).value_or(-1);
    }

    const PdfDocumentHandle& document_;
    std::map<ObjectId, int> pages_;
};

}  // namespace

VXPDFToc::VXPDFToc(std::shared_ptr<PdfDocumentHandle> document, Delegate delegate)
    : document_(std::move(document)), delegate_(std::move(delegate)) {}

std::optional<std::vector<VXPDFTocEntry>> VXPDFToc::getTOC() {
    entries_.clear();
    level_ = 0;
    if (!document_ || document_->numberOfPages() == 0) {
        return std::nullopt;
    }
    std::optional<PdfDictionary> outlines = document_->catalog().getDictionary("Outlines");
    std::optional<PdfDictionary> first = outlines ? outlines->getDictionary("First") : std::nullopt;
    if (!first) {
        return std::nullopt;
    }
    const TargetResolver resolver(*document_);
    std::set<ObjectId> visited;
    if (outlines->object().objectId().first != 0) {
        visited.insert(outlines->object().objectId());
    }
    // An explicit stack instead of recursion: a hostile file may nest items thousands deep.
    // The first child is pushed after the next sibling so that it is visited before it.
    std::vector<std::pair<PdfDictionary, int>> pending{{*first, 0}};
    while (!pending.empty() && !cancelled_) {
        auto [item, level] = std::move(pending.back());
        pending.pop_back();
        const ObjectId id = item.object().objectId();
        if (id.first != 0 && !visited.insert(id).second) {
            continue;  // seen before: the chain loops back
        }
        std::optional<PdfString> title = item.getString("Title");
        if (!title) {
            continue;
        }
        level_ = level;
        entries_.push_back({title->copyTextString(), level, resolver.pageForItem(item)});
        if (delegate_) {
            delegate_(entries_.back());
        }
        if (std::optional<PdfDictionary> next = item.getDictionary("Next")) {
            pending.emplace_back(*next, level);
        }
        if (std::optional<PdfDictionary> child = item.getDictionary("First")) {
            pending.emplace_back(*child, level + 1);
        }
    }
    return entries_;
}

}  // namespace pagewell
