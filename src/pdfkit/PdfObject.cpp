#include "pdfkit/PdfObject.h"

#include <exception>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"

namespace pagewell {

PdfObject wrapQpdfObject(const std::shared_ptr<QpdfDocument>& owner, QPDFObjectHandle handle) {
    if (!handle.isInitialized()) {
        return PdfObject{};
    }
    return PdfObject(std::make_shared<const QpdfObjectRef>(QpdfObjectRef{owner, handle}));
}

QPDFObjectHandle unwrapQpdfObject(const PdfObject& object) {
    return object.ref() ? object.ref()->handle : QPDFObjectHandle::newNull();
}

std::shared_ptr<QpdfDocument> ownerOf(const PdfObject& object) {
    return object.ref() ? object.ref()->owner : nullptr;
}

// The library resolves indirect references lazily and may throw on a damaged file; every
// access below treats such a failure as "no value".
PdfObjectType PdfObject::type() const {
    if (!ref_) {
        return PdfObjectType::Null;
    }
    try {
        QPDFObjectHandle handle = ref_->handle;
        if (handle.isBool())
            return PdfObjectType::Boolean;
        if (handle.isInteger())
            return PdfObjectType::Integer;
        if (handle.isReal())
            return PdfObjectType::Real;
        if (handle.isName())
            return PdfObjectType::Name;
        if (handle.isString())
            return PdfObjectType::String;
        if (handle.isArray())
            return PdfObjectType::Array;
        if (handle.isDictionary())
            return PdfObjectType::Dictionary;
        if (handle.isStream())
            return PdfObjectType::Stream;
    } catch (const std::exception&) {
    }
    return PdfObjectType::Null;
}

std::optional<bool> PdfObject::getBoolean() const {
    if (type() != PdfObjectType::Boolean)
        return std::nullopt;
    QPDFObjectHandle handle = ref_->handle;
    return handle.getBoolValue();
}

std::optional<std::int64_t> PdfObject::getInteger() const {
    if (type() != PdfObjectType::Integer)
        return std::nullopt;
    QPDFObjectHandle handle = ref_->handle;
    return static_cast<std::int64_t>(handle.getIntValue());
}

std::optional<double> PdfObject::getNumber() const {
    auto kind = type();
    if (kind != PdfObjectType::Integer && kind != PdfObjectType::Real)
        return std::nullopt;
    try {
        QPDFObjectHandle handle = ref_->handle;
        return handle.getNumericValue();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::string> PdfObject::getName() const {
    if (type() != PdfObjectType::Name)
        return std::nullopt;
    QPDFObjectHandle handle = ref_->handle;
    std::string name = handle.getName();
    if (!name.empty() && name.front() == '/') {
        name.erase(0, 1);
    }
    return name;
}

std::optional<PdfString> PdfObject::getString() const {
    if (type() != PdfObjectType::String)
        return std::nullopt;
    QPDFObjectHandle handle = ref_->handle;
    return PdfString(handle.getStringValue());
}

std::optional<PdfArray> PdfObject::getArray() const {
    if (type() != PdfObjectType::Array)
        return std::nullopt;
    return PdfArray(*this);
}

std::optional<PdfDictionary> PdfObject::getDictionary() const {
    if (type() != PdfObjectType::Dictionary)
        return std::nullopt;
    return PdfDictionary(*this);
}

std::optional<PdfStream> PdfObject::getStream() const {
    if (type() != PdfObjectType::Stream)
        return std::nullopt;
    return PdfStream(*this);
}

std::pair<int, int> PdfObject::objectId() const {
    if (!ref_)
        return {0, 0};
    QPDFObjectHandle handle = ref_->handle;
    QPDFObjGen id = handle.getObjGen();
    return {id.getObj(), id.getGen()};
}

std::string PdfObject::unparse() const {
    if (!ref_)
        return "null";
    try {
        QPDFObjectHandle handle = ref_->handle;
        return handle.unparse();
    } catch (const std::exception&) {
        return "null";
    }
}

const char* pdfObjectTypeName(PdfObjectType type) {
    switch (type) {
        case PdfObjectType::Null:
            return "Null";
        case PdfObjectType::Boolean:
            return "Bool";
        case PdfObjectType::Integer:
            return "Integer";
        case PdfObjectType::Real:
            return "Real";
        case PdfObjectType::Name:
            return "Name";
        case PdfObjectType::String:
            return "String";
        case PdfObjectType::Array:
            return "Array";
        case PdfObjectType::Dictionary:
            return "Dictionary";
        case PdfObjectType::Stream:
            return "Stream";
    }
    return "Unknown type";
}

}  // namespace pagewell
