#pragma once
// SHA-1 digests of text, as 40 lower-case hexadecimal digits over the text's UTF-8 bytes.
// Stateless; safe from any thread. Not for storing passwords: see PasswordHash.

#include <string>
#include <string_view>

namespace pagewell {

class SHA1Generator {
  public:
    static std::string getSHA1Hash(std::string_view text);
};

}  // namespace pagewell
