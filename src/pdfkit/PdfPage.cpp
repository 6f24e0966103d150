#include "pdfkit/PdfPage.h"

#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <exception>
#include <set>

#include "pdfkit/PdfArray.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

namespace {

constexpr int kMaximumTreeDepth = 64;  // deeper page trees are damaged; stop there
constexpr PdfRect kLetterPage{0, 0, 612, 792};

std::optional<PdfRect> rectFromArray(const PdfArray& array) {
    if (array.count() != 4)
        return std::nullopt;
    double values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        auto value = array.getNumber(i);
        if (!value)
            return std::nullopt;
        values[i] = *value;
    }
    double left = std::min(values[0], values[2]);
    double bottom = std::min(values[1], values[3]);
    return PdfRect{left, bottom, std::max(values[0], values[2]) - left,
                   std::max(values[1], values[3]) - bottom};
}

}  // namespace

PdfPage::PdfPage(std::shared_ptr<const PdfDocumentHandle> document, int pageNumber,
                 PdfDictionary dictionary)
    : document_(std::move(document)), pageNumber_(pageNumber), dictionary_(std::move(dictionary)) {}

std::optional<PdfObject> PdfPage::inheritedAttribute(std::string_view key) const {
    std::set<std::pair<int, int>> visited;
    std::optional<PdfDictionary> node = dictionary_;
    for (int depth = 0; node && depth < kMaximumTreeDepth; ++depth) {
        auto id = node->object().objectId();
        if (id.first != 0 && !visited.insert(id).second)
            break;
        if (auto value = node->getObject(key); value && !value->isNull()) {
            return value;
        }
        node = node->getDictionary("Parent");
    }
    return std::nullopt;
}

PdfRect PdfPage::boxRect(PdfBox box) const {
    std::optional<PdfRect> media;
    if (auto object = inheritedAttribute("MediaBox")) {
        if (auto array = object->getArray())
            media = rectFromArray(*array);
    }
    PdfRect mediaBox = media.value_or(kLetterPage);
    if (box == PdfBox::Media)
        return mediaBox;
    if (auto object = inheritedAttribute("CropBox")) {
        if (auto array = object->getArray()) {
            if (auto crop = rectFromArray(*array))
                return *crop;
        }
    }
    return mediaBox;
}

int PdfPage::rotationAngle() const {
    auto object = inheritedAttribute("Rotate");
    if (!object)
        return 0;
    auto angle = object->getInteger();
    if (!angle || *angle % 90 != 0 || *angle > 36000 || *angle < -36000)
        return 0;
    return static_cast<int>(*angle);
}

std::optional<PdfDictionary> PdfPage::resources() const {
    auto object = inheritedAttribute("Resources");
    return object ? object->getDictionary() : std::nullopt;
}

Result<std::string> PdfPage::contentData() const {
    try {
        QPDFPageObjectHelper helper(unwrapQpdfObject(dictionary_.object()));
        std::string data;
        Pl_String sink("page content", nullptr, data);
        helper.pipeContents(&sink);
        return data;
    } catch (const std::exception& exception) {
        return Error::make(kPdfErrorDomain, -1,
                           std::string("Page content unreadable: ") + exception.what());
    }
}

}  // namespace pagewell
