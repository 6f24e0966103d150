#pragma once
// Decodes JSON text into a value within a nesting bound. Levels are counted while the text is
// read, and a text that nests deeper than the bound is refused before its deeper levels are
// built: copying or comparing a decoded value recurses once per level, so a value nested a few
// hundred thousand levels deep would overflow the stack of whoever copies it, even when it sits
// under a key nobody reads.
//
// Long lists can be kept packed: the entries of the named top-level lists of an object become
// binary values holding their MessagePack form, and their reader unpacks one at a time
// (unpack). A decoded tree spends a node, a key and a heap block per member, several times the
// text's own bytes; packed, a list of 100,000 file objects costs little more than its text.
//
// Stateless; safe from any thread.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace pagewell {

class JsonDecoder {
  public:
    // Far more levels of arrays and objects than any answer of the server nests, and few enough
    // that every recursive walk over a decoded value stays well inside a thread's stack.
    static constexpr int kMaxDepth = 512;

    enum class Outcome { Decoded, NotJson, TooDeep };

    struct Decoded {
        Outcome outcome = Outcome::NotJson;
        nlohmann::json value;  // null unless the outcome is Decoded
    };

    struct Options {
        // A top-level scalar is one level deep, every array or object adds one.
        int maxDepth = kMaxDepth;
        // Keys of a top-level object whose arrays keep their object and array entries packed.
        std::vector<std::string> packedLists;
    };

    // The value of `text` (one JSON value, surrounded by blanks at most), or why there is none.
    static Decoded decode(std::string_view text, const Options& options);
    static Decoded decode(std::string_view text, int maxDepth = kMaxDepth) {
        return decode(text, Options{maxDepth, {}});
    }

    // Whether `text` is JSON nesting no deeper than `maxDepth` levels; nothing is built. For
    // readers that build a value of another JSON type themselves.
    static bool nestsWithin(std::string_view text, int maxDepth = kMaxDepth);

    // A list entry as its reader sees it: `entry` itself, or the value a packed entry holds,
    // unpacked into `storage` (null should the bytes not unpack). Entries never come packed
    // from JSON text itself, which has no binary values.
    static const nlohmann::json& unpack(const nlohmann::json& entry, nlohmann::json& storage);
};

}  // namespace pagewell
