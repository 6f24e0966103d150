#include "pdfkit/PdfArray.h"

#include <exception>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

std::size_t PdfArray::count() const {
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        return handle.isArray() ? static_cast<std::size_t>(handle.getArrayNItems()) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

std::optional<PdfObject> PdfArray::getObject(std::size_t index) const {
    if (index >= count())
        return std::nullopt;
    try {
        QPDFObjectHandle item = unwrapQpdfObject(object_).getArrayItem(static_cast<int>(index));
        return wrapQpdfObject(ownerOf(object_), item);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<bool> PdfArray::getBoolean(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getBoolean() : std::nullopt;
}
std::optional<std::int64_t> PdfArray::getInteger(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getInteger() : std::nullopt;
}
std::optional<double> PdfArray::getNumber(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getNumber() : std::nullopt;
}
std::optional<std::string> PdfArray::getName(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getName() : std::nullopt;
}
std::optional<PdfString> PdfArray::getString(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getString() : std::nullopt;
}
std::optional<PdfArray> PdfArray::getArray(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getArray() : std::nullopt;
}
std::optional<PdfDictionary> PdfArray::getDictionary(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getDictionary() : std::nullopt;
}
std::optional<PdfStream> PdfArray::getStream(std::size_t index) const {
    auto item = getObject(index);
    return item ? item->getStream() : std::nullopt;
}

}  // namespace pagewell
