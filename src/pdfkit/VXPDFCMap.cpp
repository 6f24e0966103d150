#include "pdfkit/VXPDFCMap.h"

#include <unicode/ustring.h>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <exception>
#include <variant>

#include "pdfkit/PdfStream.h"

namespace pagewell {

namespace {

// Bounds that keep a hostile map cheap: codes spelled out into the look-up table, tokens
// read, entries in one array destination.
constexpr std::size_t kSpelledOutCodes = 1u << 18;
constexpr std::size_t kMaximumTokens = 1u << 22;
constexpr std::size_t kMaximumArrayEntries = 1u << 16;

bool isValidUtf8(std::string_view data) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, data.data(), static_cast<int32_t>(data.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING ||
           U_SUCCESS(status);
}

std::optional<std::uint32_t> codeFromBytes(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 4)
        return std::nullopt;
    std::uint32_t code = 0;
    for (char byte : bytes) {
        code = (code << 8) | static_cast<std::uint8_t>(byte);
    }
    return code;
}

// A destination string is UTF-16BE; an odd byte count gets a leading zero byte.
std::u16string utf16FromBytes(const std::string& bytes) {
    std::string even = bytes.size() % 2 == 1 ? std::string(1, '\0') + bytes : bytes;
    std::u16string text;
    text.reserve(even.size() / 2);
    for (std::size_t i = 0; i + 1 < even.size(); i += 2) {
        text.push_back(static_cast<char16_t>((static_cast<std::uint8_t>(even[i]) << 8) |
                                             static_cast<std::uint8_t>(even[i + 1])));
    }
    return text;
}

struct Other {};
using Item = std::variant<std::string, std::vector<std::string>, Other>;

enum class Section { None, CodeSpace, BfChar, BfRange };

}  // namespace

VXPDFCMap VXPDFCMap::initWithToUnicodeStream(const PdfStream& stream) {
    auto data = stream.copyData();
    return data.ok() ? initWithData(data.value()) : VXPDFCMap{};
}

VXPDFCMap VXPDFCMap::initWithData(std::string_view data) {
    VXPDFCMap map;
    if (!isValidUtf8(data))
        return map;

    struct Char {
        std::uint32_t code;
        std::u16string destination;
    };
    std::vector<Char> chars;
    std::vector<RangeEntry> ranges;

    try {
        auto input = std::make_shared<BufferInputSource>("character map", std::string(data));
        QPDFTokenizer tokenizer;
        tokenizer.allowEOF();
        Section section = Section::None;
        std::vector<Item> items;
        bool inArray = false;
        std::vector<std::string> array;

        for (std::size_t count = 0; count < kMaximumTokens; ++count) {
            qpdf_offset_t before = input->tell();
            QPDFTokenizer::Token token = tokenizer.readToken(input, "character map", true);
            auto type = token.getType();
            if (type == QPDFTokenizer::tt_eof)
                break;
            if (input->tell() <= before) {
                input->seek(before + 1, SEEK_SET);  // never stall on a bad byte
            }
            if (inArray) {
                if (type == QPDFTokenizer::tt_array_close) {
                    inArray = false;
                    items.emplace_back(std::move(array));
                    array.clear();
                } else if (type == QPDFTokenizer::tt_string &&
                           array.size() < kMaximumArrayEntries) {
                    array.push_back(token.getValue());
                }
                if (inArray)
                    continue;
            } else if (type == QPDFTokenizer::tt_array_open) {
                inArray = true;
                continue;
            } else if (type == QPDFTokenizer::tt_word) {
                const std::string& word = token.getValue();
                if (word == "begincodespacerange")
                    section = Section::CodeSpace;
                else if (word == "beginbfchar")
                    section = Section::BfChar;
                else if (word == "beginbfrange")
                    section = Section::BfRange;
                else
                    section = Section::None;  // an end marker or any other operator
                items.clear();
                continue;
            } else if (type == QPDFTokenizer::tt_string) {
                items.emplace_back(token.getValue());
            } else {
                items.emplace_back(Other{});
            }

            // A source code must be a string; anything else resynchronises the section.
            if (section == Section::None) {
                items.clear();
                continue;
            }
            if (!std::holds_alternative<std::string>(items.front())) {
                items.erase(items.begin());
                continue;
            }
            if (section == Section::CodeSpace && items.size() == 2) {
                const auto* high = std::get_if<std::string>(&items[1]);
                const auto& low = std::get<std::string>(items[0]);
                if (high && !low.empty() && low.size() == high->size() && low.size() <= 4) {
                    map.codeSpaceRanges_.push_back({low, *high});
                }
                items.clear();
            } else if (section == Section::BfChar && items.size() == 2) {
                auto code = codeFromBytes(std::get<std::string>(items[0]));
                if (const auto* destination = std::get_if<std::string>(&items[1]);
                    code && destination) {
                    chars.push_back({*code, utf16FromBytes(*destination)});
                }
                items.clear();
            } else if (section == Section::BfRange && items.size() == 3) {
                auto from = codeFromBytes(std::get<std::string>(items[0]));
                const auto* toBytes = std::get_if<std::string>(&items[1]);
                auto to = toBytes ? codeFromBytes(*toBytes) : std::nullopt;
                if (from && to && *from <= *to) {
                    RangeEntry entry;
                    entry.from = *from;
                    entry.to = *to;
                    if (const auto* destination = std::get_if<std::string>(&items[2])) {
                        entry.destination = utf16FromBytes(*destination);
                        ranges.push_back(std::move(entry));
                    } else if (const auto* list =
                                   std::get_if<std::vector<std::string>>(&items[2])) {
                        for (const auto& each : *list)
                            entry.perCode.push_back(utf16FromBytes(each));
                        ranges.push_back(std::move(entry));
                    }
                }
                items.clear();
            }
        }
    } catch (const std::exception&) {
        // A damaged program keeps what was read before the damage.
    }

    for (auto& each : chars)
        map.addSingle(each.code, std::move(each.destination));
    for (auto& each : ranges)
        map.addRange(std::move(each));
    return map;
}

void VXPDFCMap::addSingle(std::uint32_t code, std::u16string destination) {
    if (rangesOverflowed_) {
        ranges_.push_back(RangeEntry{code, code, std::move(destination), {}});
        return;
    }
    singles_.emplace(code, std::move(destination));
}

void VXPDFCMap::addRange(RangeEntry entry) {
    std::uint64_t size = static_cast<std::uint64_t>(entry.to) - entry.from + 1;
    if (!entry.perCode.empty())
        size = std::min<std::uint64_t>(size, entry.perCode.size());
    // Small ranges are spelled out so that look-up stays a hash probe; once one range does not
    // fit, it and every later one stay ranges so that written order still decides.
    if (!rangesOverflowed_ && spelledOut_ + size <= kSpelledOutCodes) {
        spelledOut_ += size;
        for (std::uint64_t i = 0; i < size; ++i) {
            auto code = static_cast<std::uint32_t>(entry.from + i);
            if (!entry.perCode.empty()) {
                singles_.emplace(code, entry.perCode[i]);
            } else {
                std::u16string text = entry.destination;
                if (!text.empty())
                    text.back() = static_cast<char16_t>(text.back() + i);
                singles_.emplace(code, std::move(text));
            }
        }
        return;
    }
    rangesOverflowed_ = true;
    ranges_.push_back(std::move(entry));
}

std::optional<std::u16string> VXPDFCMap::textWithCID(std::uint32_t code) const {
    if (auto found = singles_.find(code); found != singles_.end())
        return found->second;
    for (const auto& range : ranges_) {
        if (code < range.from || code > range.to)
            continue;
        std::uint32_t delta = code - range.from;
        if (!range.perCode.empty()) {
            if (delta < range.perCode.size())
                return range.perCode[delta];
            continue;
        }
        std::u16string text = range.destination;
        if (!text.empty())
            text.back() = static_cast<char16_t>(text.back() + delta);
        return text;
    }
    return std::nullopt;
}

std::uint16_t VXPDFCMap::characterWithCID(std::uint32_t code) const {
    auto text = textWithCID(code);
    return text && !text->empty() ? static_cast<std::uint16_t>(text->back()) : 0;
}

std::size_t VXPDFCMap::codeLengthAt(std::string_view bytes, std::size_t position) const {
    for (std::size_t length = 1; length <= 4; ++length) {
        if (position + length > bytes.size())
            break;
        for (const auto& range : codeSpaceRanges_) {
            if (range.low.size() != length)
                continue;
            bool inside = true;
            for (std::size_t i = 0; i < length && inside; ++i) {
                auto byte = static_cast<std::uint8_t>(bytes[position + i]);
                inside = byte >= static_cast<std::uint8_t>(range.low[i]) &&
                         byte <= static_cast<std::uint8_t>(range.high[i]);
            }
            if (inside)
                return length;
        }
    }
    return 0;
}

}  // namespace pagewell
