#pragma once
// A handle to one object of an open PDF document, with typed access. Handles are cheap to copy
// and keep their document alive. A handle that refers to nothing is of type Null.
//
// Threading: a document and every handle reached through it are used by one thread at a time
// (the PDF library underneath is not thread-safe); open a second document handle for a second
// thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "pdfkit/PdfString.h"

namespace pagewell {

class PdfArray;
class PdfDictionary;
class PdfStream;
struct QpdfObjectRef;

enum class PdfObjectType { Null, Boolean, Integer, Real, Name, String, Array, Dictionary, Stream };

class PdfObject {
  public:
    PdfObject() = default;

    PdfObjectType type() const;
    bool isNull() const { return type() == PdfObjectType::Null; }

    // Each getter gives the value only when the object has that type: getInteger fails on a
    // real number, getNumber takes integers and reals alike.
    std::optional<bool> getBoolean() const;
    std::optional<std::int64_t> getInteger() const;
    std::optional<double> getNumber() const;
    // A name without its leading slash.
    std::optional<std::string> getName() const;
    std::optional<PdfString> getString() const;
    std::optional<PdfArray> getArray() const;
    // Fails on a stream; use getStream() and its dictionary() for those.
    std::optional<PdfDictionary> getDictionary() const;
    std::optional<PdfStream> getStream() const;

    // Object and generation number of an indirect object, {0, 0} for a direct one; lets
    // walks over damaged files keep a visited set.
    std::pair<int, int> objectId() const;

    // The object in PDF syntax, for diagnostics only.
    std::string unparse() const;

    // Internal: the library reference this handle wraps.
    explicit PdfObject(std::shared_ptr<const QpdfObjectRef> ref) : ref_(std::move(ref)) {}
    const std::shared_ptr<const QpdfObjectRef>& ref() const { return ref_; }

  private:
    std::shared_ptr<const QpdfObjectRef> ref_;
};

// Text for a type as the diagnostics print it: "Null", "Bool", "Integer", "Real", "Name",
// "String", "Array", "Dictionary", "Stream".
const char* pdfObjectTypeName(PdfObjectType type);

}  // namespace pagewell
