#pragma once
// The keyword of a search request travels inside the query, so every character that could end
// or restructure it is percent-escaped: the reserved and delimiting characters listed in
// kEscapedCharacters, spaces, controls, the characters a URL may not carry, and every byte of a
// non-ASCII character's UTF-8 form. Letters, digits and "-._~" stay as they are.

#include <string>
#include <string_view>

namespace pagewell {

class SearchKeyword {
  public:
    // "a&b" becomes "a%26b"; upper-case hexadecimal digits.
    static std::string escape(std::string_view keyword);

    static constexpr const char* kEscapedCharacters = "!*'();:@&=+$,/?%#[]";
};

}  // namespace pagewell
