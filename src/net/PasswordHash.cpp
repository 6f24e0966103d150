#include "net/PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cctype>
#include <charconv>
#include <optional>
#include <vector>

#include "net/SHA1Generator.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

constexpr std::size_t kHashBytes = 32;
constexpr std::size_t kLegacySha1Digits = 40;

std::string toHex(const unsigned char* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::optional<std::vector<unsigned char>> fromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned value = 0;
        auto [end, error] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + 2 * i + 2) {
            return std::nullopt;
        }
        bytes[i] = static_cast<unsigned char>(value);
    }
    return bytes;
}

std::array<unsigned char, kHashBytes> derive(std::string_view password,
                                             const std::vector<unsigned char>& salt,
                                             int iterations) {
    std::array<unsigned char, kHashBytes> out{};
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(out.size()), out.data()) != 1) {
        PW_LOG_ERROR("Could not derive a password hash");
    }
    return out;
}

bool equalInConstantTime(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

bool isHexDigits(std::string_view text) {
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

}  // namespace

std::string PasswordHash::make(std::string_view password) {
    std::array<unsigned char, kSaltBytes> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        PW_LOG_ERROR("Could not read random bytes for a password salt");
    }
    return make(password, toHex(salt.data(), salt.size()), kIterations);
}

std::string PasswordHash::make(std::string_view password, std::string_view salt, int iterations) {
    std::vector<unsigned char> saltBytes = fromHex(salt).value_or(std::vector<unsigned char>{});
    auto hash = derive(password, saltBytes, iterations);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + std::string(salt) + "$" +
           toHex(hash.data(), hash.size());
}

PasswordHash::Match PasswordHash::verify(std::string_view password, std::string_view stored) {
    if (stored.size() == kLegacySha1Digits && isHexDigits(stored)) {
        std::string lower(stored);
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return equalInConstantTime(SHA1Generator::getSHA1Hash(password), lower)
                   ? Match::YesButOutdated
                   : Match::No;
    }
    // scheme $ iterations $ salt $ hash
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i == stored.size() || stored[i] == '$') {
            parts.push_back(stored.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() != 4 || parts[0] != kScheme) {
        return Match::No;
    }
    int iterations = 0;
    auto [end, error] =
        std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations);
    if (error != std::errc() || end != parts[1].data() + parts[1].size() || iterations < 1) {
        return Match::No;
    }
    auto salt = fromHex(parts[2]);
    if (!salt || salt->empty() || parts[3].size() != kHashBytes * 2) {
        return Match::No;
    }
    auto hash = derive(password, *salt, iterations);
    if (!equalInConstantTime(toHex(hash.data(), hash.size()), parts[3])) {
        return Match::No;
    }
    bool outdated = iterations < kIterations || salt->size() < kSaltBytes;
    return outdated ? Match::YesButOutdated : Match::Yes;
}

}  // namespace pagewell
