#pragma once
// The file name stem of a saved annotation set, from its identifier. The rule is one-to-one and
// keeps ordinary identifiers as they are: letters and digits of any script and "_ - . @ +"
// stay (a leading dot does not), every other byte, "%" included, becomes "%XX"; a stem longer
// than 200 bytes is cut and ends in "~" and a digest of the whole identifier ("~" never
// appears otherwise). Stateless.

#include <string>
#include <string_view>

namespace pagewell {

class RedliningFileName {
  public:
    static constexpr std::size_t kMaxStemBytes = 200;
    static std::string stem(std::string_view identifier);
    // "<stem>.redlining.plist"
    static std::string fileName(std::string_view identifier);
};

}  // namespace pagewell
