#pragma once
// Writes a keyed object archive as a binary property list: "$archiver", "$version", "$top"
// {"root": reference} and "$objects", whose first entry is "$null". Each object is a dictionary
// of its keys plus "$class", a reference to {"$classname", "$classes"}; strings, numbers and data
// held by reference are entries of their own. References are indices into "$objects".
// Build objects depth first: beginObject(), encode its keys (nested objects are finished
// before they are referenced), endObject(). Not thread-safe; one archiver per archive.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagewell {

class KeyedArchiver {
  public:
    using Ref = std::uint64_t;
    static constexpr Ref kNullRef = 0;

    KeyedArchiver();
    ~KeyedArchiver();
    KeyedArchiver(const KeyedArchiver&) = delete;
    KeyedArchiver& operator=(const KeyedArchiver&) = delete;

    // `classes` names the object's class first, then its ancestors.
    void beginObject(const std::vector<std::string>& classes);
    Ref endObject();

    // Keys of the object being built.
    void encodeBool(std::string_view key, bool value);
    void encodeInteger(std::string_view key, std::int64_t value);
    void encodeDouble(std::string_view key, double value);
    void encodeReference(std::string_view key, Ref ref);
    void encodeReferences(std::string_view key, const std::vector<Ref>& refs);
    void encodeString(std::string_view key, std::string_view text) {
        encodeReference(key, addString(text));
    }
    void encodeData(std::string_view key, std::string_view bytes) {
        encodeReference(key, addData(bytes));
    }

    // Entries held by reference.
    Ref addString(std::string_view text);
    Ref addData(std::string_view bytes);
    Ref addDouble(double value);
    Ref addInteger(std::int64_t value);

    void setRoot(Ref root);
    // The archive as a binary property list; the archiver is empty afterwards.
    std::string finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pagewell
