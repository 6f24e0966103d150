#include "cms/ShareLinkSignature.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

namespace pagewell::cms {

std::string ShareLinkSignature::hmacHex(std::string_view key, std::string_view message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // HMAC() takes a null key pointer as "no key"; an empty key must still be a valid pointer.
    static const unsigned char kEmpty = 0;
    const auto* keyBytes =
        key.empty() ? &kEmpty : reinterpret_cast<const unsigned char*>(key.data());
    if (HMAC(EVP_sha512(), keyBytes, static_cast<int>(key.size()),
             reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest,
             &length) == nullptr) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}

std::string ShareLinkSignature::sign(std::string_view loginSecret, std::string_view locale,
                                     std::string_view file, std::string_view time,
                                     std::string_view user, std::string_view userSecret) {
    std::string message;
    message.append(locale).append(file).append(time).append(user).append(userSecret);
    return hmacHex(loginSecret, message);
}

bool ShareLinkSignature::matches(std::string_view expected, std::string_view given) {
    return !expected.empty() && expected.size() == given.size() &&
           CRYPTO_memcmp(expected.data(), given.data(), expected.size()) == 0;
}

}  // namespace pagewell::cms
