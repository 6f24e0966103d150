#include "store/RedliningFileName.h"

#include <fmt/format.h>
#include <openssl/evp.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace pagewell {

namespace {

bool keptAscii(char ch, bool first) {
    if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) {
        return true;
    }
    if (ch == '.') {
        return !first;
    }
    return ch == '_' || ch == '-' || ch == '@' || ch == '+';
}

void escape(std::string& out, std::string_view bytes) {
    for (char ch : bytes) {
        out += fmt::format("%{:02X}", static_cast<unsigned char>(ch));
    }
}

}  // namespace

std::string RedliningFileName::stem(std::string_view id) {
    std::string out;
    const auto* s = reinterpret_cast<const uint8_t*>(id.data());
    int32_t length = static_cast<int32_t>(id.size());
    int32_t i = 0;
    while (i < length) {
        int32_t start = i;
        if (s[i] < 0x80) {
            char ch = static_cast<char>(s[i++]);
            if (keptAscii(ch, start == 0)) {
                out += ch;
            } else {
                escape(out, id.substr(start, 1));
            }
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        std::string_view sequence = id.substr(start, i - start);
        if (c >= 0 && u_isalnum(c)) {
            out += sequence;
        } else {
            escape(out, sequence);
        }
    }
    if (out.size() <= kMaxStemBytes) {
        return out;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(id.data(), id.size(), digest, &digestLength, EVP_sha256(), nullptr);
    std::string suffix = "~";
    for (unsigned int k = 0; k < 8 && k < digestLength; ++k) {
        suffix += fmt::format("{:02x}", digest[k]);
    }
    std::size_t cut = kMaxStemBytes - suffix.size();
    // Cut before an escape or a multi-byte character, never inside one.
    while (cut > 0 && ((static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80 ||
                       (cut >= 1 && out[cut - 1] == '%') || (cut >= 2 && out[cut - 2] == '%'))) {
        --cut;
    }
    return out.substr(0, cut) + suffix;
}

std::string RedliningFileName::fileName(std::string_view identifier) {
    return stem(identifier) + ".redlining.plist";
}

}  // namespace pagewell
