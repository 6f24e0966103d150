#include "net/SearchKeyword.h"

namespace pagewell {

namespace {

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

std::string SearchKeyword::escape(std::string_view keyword) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(keyword.size() * 3);
    for (unsigned char c : keyword) {
        // Everything outside the unreserved set is escaped: that covers kEscapedCharacters and
        // the characters no URL may carry, and keeps UTF-8 sequences intact byte by byte.
        if (isUnreserved(c)) {
            escaped.push_back(static_cast<char>(c));
        } else {
            escaped.push_back('%');
            escaped.push_back(kHex[c >> 4]);
            escaped.push_back(kHex[c & 0x0F]);
        }
    }
    return escaped;
}

}  // namespace pagewell
