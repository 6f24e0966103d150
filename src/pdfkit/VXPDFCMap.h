#pragma once
// A character map: a font's /ToUnicode map (codes to text) or a composite font's encoding
// CMap (its code-space ranges, which decide how many bytes make one code).
//
// The map is read from the stream's decoded bytes with the PDF library's tokenizer: every
// "codespacerange", "bfchar" and "bfrange" section counts, in any layout of white space and
// lines. bfchar entries come first in look-up order, then bfrange entries, each in written
// order; the first matching entry wins. A bfrange destination is either a string (the code
// From maps to it, each further code increments its last UTF-16 unit) or an array with one
// destination per code. Text that is not valid UTF-8 gives an empty map.
//
// Immutable after construction: safe to share between threads.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagewell {

class PdfStream;

class VXPDFCMap {
  public:
    // A code-space range: codes of `length` bytes whose every byte lies between the bytes of
    // low and high at the same position.
    struct CodeSpaceRange {
        std::string low;
        std::string high;
    };

    VXPDFCMap() = default;
    // Reads the stream's decoded data; an unreadable stream gives an empty map.
    static VXPDFCMap initWithToUnicodeStream(const PdfStream& stream);
    // Reads CMap program text directly.
    static VXPDFCMap initWithData(std::string_view data);

    // The single UTF-16 unit for a code: the last unit of a longer destination. 0 when the
    // code is not mapped.
    std::uint16_t characterWithCID(std::uint32_t code) const;
    // The full text for a code as UTF-16 (a ligature mapped to "ffi" gives three units);
    // nullopt when the code is not mapped.
    std::optional<std::u16string> textWithCID(std::uint32_t code) const;

    const std::vector<CodeSpaceRange>& codeSpaceRanges() const { return codeSpaceRanges_; }
    // The length of the code that starts at `position`: the shortest code-space range whose
    // bytes match. 0 when no range matches (or none is declared).
    std::size_t codeLengthAt(std::string_view bytes, std::size_t position) const;

    bool isEmpty() const { return singles_.empty() && ranges_.empty(); }
    std::size_t entryCount() const { return singles_.size() + ranges_.size(); }

  private:
    struct RangeEntry {
        std::uint32_t from = 0;
        std::uint32_t to = 0;
        std::u16string destination;           // for a string destination
        std::vector<std::u16string> perCode;  // for an array destination
    };

    void addSingle(std::uint32_t code, std::u16string destination);
    void addRange(RangeEntry entry);

    std::vector<CodeSpaceRange> codeSpaceRanges_;
    // Single entries and the ranges small enough to spell out, first entry of a code wins.
    std::unordered_map<std::uint32_t, std::u16string> singles_;
    // Ranges in written order that were too large to spell out; consulted after singles_.
    std::vector<RangeEntry> ranges_;
    std::size_t spelledOut_ = 0;
    bool rangesOverflowed_ = false;
};

}  // namespace pagewell
