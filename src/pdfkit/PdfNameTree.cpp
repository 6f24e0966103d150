#include "pdfkit/PdfNameTree.h"

#include <set>

#include "pdfkit/PdfArray.h"

namespace pagewell {

namespace {

constexpr int kMaximumDepth = 64;

// Returns false when the visitor asked to stop.
bool walkNode(const PdfDictionary& node, const PdfNameTree::Visitor& visitor,
              std::set<std::pair<int, int>>& visited, int depth) {
    if (depth > kMaximumDepth)
        return true;
    auto id = node.object().objectId();
    if (id.first != 0 && !visited.insert(id).second)
        return true;

    if (auto names = node.getArray("Names")) {
        const std::size_t count = names->count();
        for (std::size_t i = 0; i + 1 < count; ++i) {
            auto name = names->getString(i);
            if (!name)
                continue;
            auto value = names->getObject(i + 1);
            if (!value)
                continue;
            if (!visitor(*name, *value))
                return false;
            ++i;
        }
    }
    if (auto kids = node.getArray("Kids")) {
        const std::size_t count = kids->count();
        for (std::size_t i = 0; i < count; ++i) {
            auto kid = kids->getDictionary(i);
            if (kid && !walkNode(*kid, visitor, visited, depth + 1))
                return false;
        }
    }
    return true;
}

}  // namespace

void PdfNameTree::walk(const PdfDictionary& root, const Visitor& visitor) {
    std::set<std::pair<int, int>> visited;
    walkNode(root, visitor, visited, 0);
}

std::optional<PdfObject> PdfNameTree::find(const PdfDictionary& root, std::string_view name) {
    std::optional<PdfObject> found;
    walk(root, [&](const PdfString& key, const PdfObject& value) {
        if (key.bytes() == name) {
            found = value;
            return false;
        }
        return true;
    });
    return found;
}

}  // namespace pagewell
