#pragma once
// UTF-8 checks shared by everything that cleans or escapes text from outside before showing it.

#include <cstddef>
#include <string_view>

namespace pagewell {

class Utf8 {
  public:
    // The length of the well-formed UTF-8 sequence at the start of `text` (1 to 4), 0 when it is
    // not one: a stray continuation byte, a cut sequence, an overlong form, a surrogate or a
    // code point beyond U+10FFFF. `text` must not be empty.
    static std::size_t sequenceLength(std::string_view text);
};

}  // namespace pagewell
