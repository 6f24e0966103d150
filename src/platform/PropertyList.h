#pragma once
// Property-list values (settings, configuration, user defaults) and their file forms.
// A PlistValue is a plain value tree; parse() reads XML or binary property lists, toXml()
// writes XML. Dictionaries keep keys sorted, as property-list files do.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace pagewell {

class PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDict = std::map<std::string, PlistValue>;
struct PlistData {
    std::string bytes;
    bool operator==(const PlistData&) const = default;
};

class PlistValue {
  public:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string,
                                 PlistArray, PlistDict, PlistData, SystemTime>;

    PlistValue() = default;
    PlistValue(bool value) : storage_(value) {}
    PlistValue(int value) : storage_(static_cast<std::int64_t>(value)) {}
    PlistValue(std::int64_t value) : storage_(value) {}
    PlistValue(double value) : storage_(value) {}
    PlistValue(const char* value) : storage_(std::string(value)) {}
    PlistValue(std::string value) : storage_(std::move(value)) {}
    PlistValue(PlistArray value) : storage_(std::move(value)) {}
    PlistValue(PlistDict value) : storage_(std::move(value)) {}
    PlistValue(PlistData value) : storage_(std::move(value)) {}
    PlistValue(SystemTime value) : storage_(value) {}

    bool isNone() const { return std::holds_alternative<std::monostate>(storage_); }
    bool isBool() const { return std::holds_alternative<bool>(storage_); }
    bool isInteger() const { return std::holds_alternative<std::int64_t>(storage_); }
    bool isReal() const { return std::holds_alternative<double>(storage_); }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return std::holds_alternative<std::string>(storage_); }
    bool isArray() const { return std::holds_alternative<PlistArray>(storage_); }
    bool isDict() const { return std::holds_alternative<PlistDict>(storage_); }
    bool isData() const { return std::holds_alternative<PlistData>(storage_); }
    bool isDate() const { return std::holds_alternative<SystemTime>(storage_); }

    // Lenient readers, the way the app reads stored values: a number reads as a boolean
    // (non-zero is yes), "YES"/"true"/"1" texts read as yes; anything else gives the fallback.
    bool boolValue(bool fallback = false) const;
    std::int64_t integerValue(std::int64_t fallback = 0) const;  // reals are truncated
    double realValue(double fallback = 0.0) const;
    std::string stringValue(const std::string& fallback = {}) const;  // strings only

    const PlistArray* array() const { return std::get_if<PlistArray>(&storage_); }
    PlistArray* array() { return std::get_if<PlistArray>(&storage_); }
    const PlistDict* dict() const { return std::get_if<PlistDict>(&storage_); }
    PlistDict* dict() { return std::get_if<PlistDict>(&storage_); }
    const PlistData* data() const { return std::get_if<PlistData>(&storage_); }
    std::optional<SystemTime> date() const;

    // Dictionary member or nullptr (also when this is not a dictionary).
    const PlistValue* find(const std::string& key) const;
    PlistValue* find(const std::string& key);

    const Storage& storage() const { return storage_; }
    bool operator==(const PlistValue& other) const { return storage_ == other.storage_; }

  private:
    Storage storage_;
};

class PropertyList {
  public:
    // Reads an XML or binary property list; an error when the bytes are not one.
    static Result<PlistValue> parse(std::string_view bytes);
    static Result<PlistValue> readFile(const std::string& path);
    static std::string toXml(const PlistValue& value);
    // Writes XML through a temporary file and rename.
    static Status writeFile(const std::string& path, const PlistValue& value);

    static constexpr const char* kErrorDomain = "PropertyListErrorDomain";
};

}  // namespace pagewell
