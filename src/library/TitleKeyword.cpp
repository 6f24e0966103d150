#include "library/TitleKeyword.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace pagewell {

TitleKeyword::TitleKeyword(std::string_view keyword) : folded_(folded(keyword)) {}

bool TitleKeyword::matches(std::string_view title) const {
    if (folded_.empty()) {
        return false;
    }
    return folded(title).find(folded_) != std::string::npos;
}

std::string TitleKeyword::folded(std::string_view text) {
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    // Fold before decomposing: folding can itself yield marks ("İ" becomes "i" + dot above).
    source.foldCase();
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(source, status) : source;
    if (U_FAILURE(status)) {
        decomposed = source;
    }
    icu::UnicodeString stripped;
    for (int32_t index = 0; index < decomposed.length();) {
        const UChar32 c = decomposed.char32At(index);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            stripped.append(c);
        }
        index += U16_LENGTH(c);
    }
    std::string utf8;
    stripped.toUTF8String(utf8);
    return utf8;
}

}  // namespace pagewell
