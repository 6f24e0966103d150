#pragma once
// A PDF array with typed access by index (from 0). Every getter fails (nullopt) when the index
// is out of range or the entry has another type; getInteger fails on a real, getNumber takes
// both. Threading: see PdfObject.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pdfkit/PdfObject.h"

namespace pagewell {

class PdfArray {
  public:
    PdfArray() = default;
    explicit PdfArray(PdfObject object) : object_(std::move(object)) {}

    std::size_t count() const;

    std::optional<PdfObject> getObject(std::size_t index) const;
    std::optional<bool> getBoolean(std::size_t index) const;
    std::optional<std::int64_t> getInteger(std::size_t index) const;
    std::optional<double> getNumber(std::size_t index) const;
    std::optional<std::string> getName(std::size_t index) const;
    std::optional<PdfString> getString(std::size_t index) const;
    std::optional<PdfArray> getArray(std::size_t index) const;
    std::optional<PdfDictionary> getDictionary(std::size_t index) const;
    std::optional<PdfStream> getStream(std::size_t index) const;

    const PdfObject& object() const { return object_; }

  private:
    PdfObject object_;
};

}  // namespace pagewell
