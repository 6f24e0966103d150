#pragma once
// A PDF dictionary with typed access by key (written without the slash: "Font"). Every getter
// fails (nullopt) when the key is absent or its value has another type; getInteger fails on a
// real, getNumber takes both. Threading: see PdfObject.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdfkit/PdfObject.h"

namespace pagewell {

class PdfDictionary {
  public:
    PdfDictionary() = default;
    explicit PdfDictionary(PdfObject object) : object_(std::move(object)) {}

    std::size_t count() const;
    bool hasKey(std::string_view key) const;
    // Keys without slashes, in sorted order.
    std::vector<std::string> keys() const;

    std::optional<PdfObject> getObject(std::string_view key) const;
    std::optional<bool> getBoolean(std::string_view key) const;
    std::optional<std::int64_t> getInteger(std::string_view key) const;
    std::optional<double> getNumber(std::string_view key) const;
    std::optional<std::string> getName(std::string_view key) const;
    std::optional<PdfString> getString(std::string_view key) const;
    std::optional<PdfArray> getArray(std::string_view key) const;
    std::optional<PdfDictionary> getDictionary(std::string_view key) const;
    std::optional<PdfStream> getStream(std::string_view key) const;

    // One call per key with its value (null values included), in key order.
    void applyFunction(
        const std::function<void(const std::string& key, const PdfObject& value)>& function) const;

    // The dictionary's own object (for identity checks and diagnostics).
    const PdfObject& object() const { return object_; }

  private:
    PdfObject object_;
};

}  // namespace pagewell
