#include "pdfkit/PdfDictionary.h"

#include <exception>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

namespace {

std::string slashed(std::string_view key) {
    std::string text = "/";
    text += key;
    return text;
}

}  // namespace

std::size_t PdfDictionary::count() const {
    return keys().size();
}

bool PdfDictionary::hasKey(std::string_view key) const {
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        return handle.isDictionary() && handle.hasKey(slashed(key));
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> PdfDictionary::keys() const {
    std::vector<std::string> result;
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        if (!handle.isDictionary())
            return result;
        for (const std::string& key : handle.getKeys()) {
            result.push_back(key.size() > 1 ? key.substr(1) : std::string());
        }
    } catch (const std::exception&) {
        result.clear();
    }
    return result;
}

std::optional<PdfObject> PdfDictionary::getObject(std::string_view key) const {
    try {
        QPDFObjectHandle handle = unwrapQpdfObject(object_);
        if (!handle.isDictionary() || !handle.hasKey(slashed(key)))
            return std::nullopt;
        return wrapQpdfObject(ownerOf(object_), handle.getKey(slashed(key)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<bool> PdfDictionary::getBoolean(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getBoolean() : std::nullopt;
}
std::optional<std::int64_t> PdfDictionary::getInteger(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getInteger() : std::nullopt;
}
std::optional<double> PdfDictionary::getNumber(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getNumber() : std::nullopt;
}
std::optional<std::string> PdfDictionary::getName(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getName() : std::nullopt;
}
std::optional<PdfString> PdfDictionary::getString(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getString() : std::nullopt;
}
std::optional<PdfArray> PdfDictionary::getArray(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getArray() : std::nullopt;
}
std::optional<PdfDictionary> PdfDictionary::getDictionary(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getDictionary() : std::nullopt;
}
std::optional<PdfStream> PdfDictionary::getStream(std::string_view key) const {
    auto value = getObject(key);
    return value ? value->getStream() : std::nullopt;
}

void PdfDictionary::applyFunction(
    const std::function<void(const std::string& key, const PdfObject& value)>& function) const {
    for (const std::string& key : keys()) {
        function(key, getObject(key).value_or(PdfObject{}));
    }
}

}  // namespace pagewell
