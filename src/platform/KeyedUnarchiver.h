#pragma once
// Reads a keyed object archive (see KeyedArchiver) from a binary property list. The bytes are
// checked first (BinaryPlistCheck), so hostile files fail with an error instead of expanding.
// Objects are addressed by reference; every accessor tolerates wrong types and references out of
// range by answering "none", so a decoder takes each key independently and keeps its default.
// A value may be stored in place or by reference; the accessors follow one reference.
// Not thread-safe; read-only after creation.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/BinaryPlistCheck.h"
#include "platform/Error.h"

namespace pagewell {

class KeyedUnarchiver {
  public:
    using Ref = std::uint64_t;

    static Result<std::unique_ptr<KeyedUnarchiver>> fromBytes(
        std::string_view bytes, const BinaryPlistCheck::Limits& limits = {});
    ~KeyedUnarchiver();
    KeyedUnarchiver(const KeyedUnarchiver&) = delete;
    KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

    Ref root() const;
    std::size_t objectCount() const;

    // The object's class followed by its ancestors; empty when the entry is not a keyed object.
    std::vector<std::string> classesOf(Ref object) const;
    bool isKindOf(Ref object, std::string_view className) const;
    bool contains(Ref object, std::string_view key) const;

    std::optional<double> decodeDouble(Ref object, std::string_view key) const;
    std::optional<bool> decodeBool(Ref object, std::string_view key) const;
    // A string in place, by reference, or a string object ("NS.string", "NS.bytes").
    std::optional<std::string> decodeString(Ref object, std::string_view key) const;
    // Data in place, by reference, or a data object ("NS.data").
    std::optional<std::string> decodeData(Ref object, std::string_view key) const;
    std::optional<Ref> decodeReference(Ref object, std::string_view key) const;
    // A list of references ("NS.objects", "NS.keys").
    std::optional<std::vector<Ref>> decodeReferences(Ref object, std::string_view key) const;

    // Entries held by reference.
    std::optional<double> doubleAt(Ref ref) const;
    std::optional<std::string> stringAt(Ref ref) const;
    std::optional<std::string> dataAt(Ref ref) const;

    static constexpr const char* kErrorDomain = "KeyedUnarchiverErrorDomain";

  private:
    struct State;
    explicit KeyedUnarchiver(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pagewell
