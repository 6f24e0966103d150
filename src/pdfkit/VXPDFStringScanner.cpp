#include "pdfkit/VXPDFStringScanner.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include "pdfkit/PdfString.h"
#include "pdfkit/VXPDFFont.h"

namespace pagewell {

namespace {

// The typographic ligatures a PDF font may show as one glyph, with the letters they stand for.
// Applied after lower-casing, to the keyword and to the page text alike.
std::u16string_view ligatureLetters(char16_t unit) {
    switch (unit) {
        case 0x00E6:
            return u"ae";
        case 0x0153:
            return u"oe";
        case 0xFB00:
            return u"ff";
        case 0xFB01:
            return u"fi";
        case 0xFB02:
            return u"fl";
        case 0xFB03:
            return u"ffi";
        case 0xFB04:
            return u"ffl";
        case 0xFB05:
        case 0xFB06:
            return u"st";
        default:
            return {};
    }
}

// Full lower-casing of `text` with the root locale into `out` (resized to fit).
void lowerCase(std::u16string_view text, std::u16string& out) {
    if (out.size() < text.size() + 8) {
        out.resize(text.size() + 8);
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            u_strToLower(out.data(), static_cast<int32_t>(out.size()), text.data(),
                         static_cast<int32_t>(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(static_cast<std::size_t>(length) + 8);
            continue;
        }
        if (U_FAILURE(status)) {
            out.assign(text);
            return;
        }
        out.resize(static_cast<std::size_t>(length));
        return;
    }
    out.assign(text);
}

std::u16string utf16FromUtf8(std::string_view text) {
    std::u16string result(text.size() + 1, u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    result.resize(static_cast<std::size_t>(length));
    return result;
}

}  // namespace

VXPDFStringScanner::VXPDFStringScanner(std::string_view keyword,
                                       VXPDFStringScannerDelegate* delegate)
    : delegate_(delegate) {
    std::u16string lowered;
    lowerCase(utf16FromUtf8(keyword), lowered);
    for (char16_t unit : lowered) {
        std::u16string_view letters = ligatureLetters(unit);
        if (letters.empty()) {
            keyword_.push_back(unit);
        } else {
            keyword_.append(letters);
        }
    }
    // Knuth–Morris–Pratt borders: after a mismatch at keyword position j the match goes on
    // with the longest prefix that is also a suffix of what was matched, so no start is lost.
    failure_.assign(keyword_.size(), 0);
    for (std::size_t j = 1, border = 0; j < keyword_.size(); ++j) {
        while (border > 0 && keyword_[j] != keyword_[border]) {
            border = failure_[border - 1];
        }
        if (keyword_[j] == keyword_[border]) {
            ++border;
        }
        failure_[j] = border;
    }
    glyphOf_.assign(std::max<std::size_t>(keyword_.size(), 1), 0);
}

void VXPDFStringScanner::reset() {
    matched_ = 0;
}

std::uint64_t VXPDFStringScanner::earliestPossibleStart() const {
    if (!hitStarts_.empty()) {
        return hitStarts_.front();
    }
    if (matched_ > 0) {
        return glyphOf_[(characterCount_ - matched_) % glyphOf_.size()];
    }
    return glyphCount_;
}

void VXPDFStringScanner::feed(char16_t unit) {
    const std::size_t length = keyword_.size();
    if (length == 0) {
        return;
    }
    glyphOf_[characterCount_ % length] = glyphCount_;
    ++characterCount_;
    while (matched_ > 0 && keyword_[matched_] != unit) {
        matched_ = failure_[matched_ - 1];
    }
    if (keyword_[matched_] == unit) {
        ++matched_;
    }
    if (matched_ == length) {
        // Hits do not overlap: the next one starts after this one's last character.
        hitStarts_.push_back(glyphOf_[(characterCount_ - length) % length]);
        matched_ = 0;
    }
}

void VXPDFStringScanner::matchGlyph(const char16_t* units, std::size_t count, unsigned code,
                                    bool advances) {
    hitStarts_.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t unit = units[i];
        std::u16string_view letters = unit < 0x80 ? std::u16string_view{} : ligatureLetters(unit);
        if (letters.empty()) {
            feed(unit);
        } else {
            for (char16_t letter : letters) {
                feed(letter);
            }
        }
    }
    if (delegate_ != nullptr) {
        if (count > 0 && (matched_ > 0 || !hitStarts_.empty())) {
            delegate_->scannerDidStartMatchingString(*this, glyphCount_);
        }
        if (advances) {
            delegate_->scannerDidScanCharacter(*this, code);
        }
        for (std::uint64_t start : hitStarts_) {
            delegate_->scannerFoundString(*this, start);
        }
    }
    hitStarts_.clear();
    ++glyphCount_;
}

void VXPDFStringScanner::appendPDFString(std::string_view bytes, const VXPDFFont* font) {
    if (font == nullptr) {
        return;
    }
    // The font splits the string into codes (one or two bytes) with the text of each, so a
    // glyph's advance always belongs to the characters it shows.
    const std::vector<VXPDFGlyph> glyphs = font->glyphsWithPDFString(PdfString(std::string(bytes)));
    text_.clear();
    offsets_.clear();
    codes_.clear();
    for (const VXPDFGlyph& glyph : glyphs) {
        offsets_.push_back(text_.size());
        text_.append(glyph.text);
        codes_.push_back(glyph.code);
    }
    offsets_.push_back(text_.size());
    matchGlyphs(codes_.size());
}

void VXPDFStringScanner::appendDecodedText(std::u16string_view text,
                                           const std::vector<unsigned>& codes) {
    text_.assign(text);
    offsets_.clear();
    codes_.clear();
    std::size_t offset = 0;
    while (offset < text.size()) {
        offsets_.push_back(offset);
        UChar32 character = 0;
        U16_NEXT(text.data(), offset, text.size(), character);
        (void)character;
        const std::size_t glyph = codes_.size();
        codes_.push_back(glyph < codes.size() ? codes[glyph] : 0);
    }
    offsets_.push_back(text.size());
    matchGlyphs(codes_.size());
}

void VXPDFStringScanner::matchGlyphs(std::size_t glyphCount) {
    if (glyphCount == 0) {
        return;
    }
    // One case mapping for the whole string; only when it changes the length (a letter that
    // lower-cases to several) is each glyph's text mapped on its own, to keep glyphs aligned.
    lowerCase(text_, lowered_);
    const bool aligned = lowered_.size() == text_.size();
    for (std::size_t i = 0; i < glyphCount; ++i) {
        const std::size_t begin = offsets_[i];
        const std::size_t length = offsets_[i + 1] - begin;
        const unsigned code = codes_[i];
        if (reportsText_ && delegate_ != nullptr) {
            delegate_->scannerDidShowText(*this, std::u16string_view(text_).substr(begin, length));
        }
        if (aligned) {
            matchGlyph(lowered_.data() + begin, length, code, code != 0);
        } else {
            lowerCase(std::u16string_view(text_).substr(begin, length), scratch_);
            matchGlyph(scratch_.data(), scratch_.size(), code, code != 0);
        }
    }
}

}  // namespace pagewell
